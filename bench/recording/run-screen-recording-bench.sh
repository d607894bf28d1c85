#!/usr/bin/env bash
# Screen recording benchmark: CPU time per recorded second of a 1920x1080 screen recording at 30
# frames per second with highlighted clicks (a click every half second) beside the same recording
# without them, taking turns over a few rounds on one virtual display whose picture moves.
#   run-screen-recording-bench.sh <path to qv_screen_recording_bench> [seconds] [rounds]
# Target: highlighting costs at most 1.10x.
set -euo pipefail
bench=${1:?path to qv_screen_recording_bench}
seconds=${2:-${QV_BENCH_SECONDS:-10}}
rounds=${3:-3}
"$(dirname "$0")/../../scripts/deps-bench" recording
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/inner.sh" <<INNER
set -euo pipefail
# A moving picture on the screen, so the encoder has real work.
gst-launch-1.0 -q videotestsrc is-live=true pattern=ball ! video/x-raw,width=1600,height=900,framerate=30/1 \
    ! videoconvert ! ximagesink >/dev/null 2>&1 &
picture=\$!
sleep 2
for round in \$(seq $rounds); do
    for highlight in 0 1; do
        "$bench" $seconds "$work/screen-\$highlight.mp4" \$highlight | tail -1 | sed "s/^/highlight=\$highlight /"
    done
done
kill \$picture
INNER
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$work/inner.sh" >"$work/runs"
cat "$work/runs"
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
per_s() { grep "^highlight=$1 " "$work/runs" | sed 's/.*cpu_per_recorded_s=\([^ ]*\).*/\1/' | median; }
plain=$(per_s 0)
clicks=$(per_s 1)
printf '%-40s | %-40s | %s\n' "with highlighted clicks (CPU s per rec. s)" "without (CPU s per recorded s)" "ratio"
printf '%-40.3f | %-40.3f | %.2fx (target <= 1.10x)\n' "$clicks" "$plain" "$(echo "$clicks / $plain" | bc -l)"
