#!/usr/bin/env bash
# Bookmark popover benchmark: the popover's list opened on 1,000 and on 20,000 bookmarks (each with
# its own picture file, 600 x 360 like a browser's snapshot), then scrolled page by page from the
# first row to the last and flung back to the top, then closed. A 1 ms timer on the main thread
# measures the longest time the program could not answer (a stall) in each phase. On a machine
# busy with other work part of such a gap is the thread waiting for a processor; the kernel's
# scheduler statistics give that wait, and the stall the program makes itself is the gap without
# it. Both are printed.
#   run-bookmarks-bench.sh <path to qv_bookmarks_bench>
# Limit: no stall of its own of 100 ms or more, with either count (the popover used to stall
# 1.5 s for 1,000 bookmarks and minutes for 20,000, one widget per bookmark). The opening times
# are printed beside it: until the rows on screen are drawn, and until their pictures are in them.
set -euo pipefail
bench=${1:?path to qv_bookmarks_bench}
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 2560x1440x24 -nolisten tcp" "$0" "$bench"
fi
export QT_QPA_PLATFORM=xcb
"$bench" 1000 20000
