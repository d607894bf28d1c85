#!/usr/bin/env bash
# Archive list benchmark: the list filled from a save folder of 500, 1,000 and 2,000 snapshots of
# 1920 x 1080 (PNG, as the camera writes them), as the program fills it when it starts. For each
# size: the time from showing the list to its last row, the time per row, that time beside the
# 500 run's (the reference), and the longest stall of the main thread while the list filled.
#   run-library-bench.sh <path to qv_library_bench>
# Targets: the longest stall under 100 ms at every size; the time grows no faster than the count
# (per row at 1,000 and 2,000 at most 1.25 times the 500 run's).
set -euo pipefail
bench=$(realpath "${1:?path to qv_library_bench}")
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One set of 2,000; the smaller folders hold the newest 500 and 1,000 of it (hard links).
"$bench" make "$work/all" 2000 1920 1080
for n in 500 1000 2000; do
    mkdir -p "$work/save$n/Quorvane/images" "$work/save$n/Quorvane/videos"
    ls "$work/all" | sort | tail -n "$n" | while read -r f; do ln "$work/all/$f" "$work/save$n/Quorvane/images/$f"; done
done

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

echo "== archive list filled from a folder of 1920x1080 snapshots"
printf '%6s | %14s | %11s | %9s | %15s\n' "count" "last row (s)" "per row ms" "vs 500" "longest stall ms"
ok=yes
ref=""
for n in 500 1000 2000; do
    line=$("$bench" fill "$work/save$n" "$n")
    rows=$(field rows "$line"); ms=$(field last_row_ms "$line"); stall=$(field stall_ms "$line")
    [ "$rows" = "$n" ] || { echo "only $rows of $n rows arrived"; ok=no; }
    per=$(echo "$ms / $n" | bc -l)
    [ -n "$ref" ] || ref=$per
    ratio=$(echo "$per / $ref" | bc -l)
    printf '%6d | %14.2f | %11.2f | %8.2fx | %15.1f\n' "$n" "$(echo "$ms / 1000" | bc -l)" "$per" "$ratio" "$stall"
    [ "$(echo "$stall < 100" | bc -l)" = 1 ] || ok=no
    [ "$(echo "$ratio <= 1.25" | bc -l)" = 1 ] || ok=no
done
echo "target (longest stall < 100 ms at every size, per row at most 1.25x the 500 run's): $ok"
[ "$ok" = yes ]
