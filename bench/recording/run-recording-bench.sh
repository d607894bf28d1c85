#!/usr/bin/env bash
# Recording benchmark: CPU time per recorded second at 1920x1080, 30 frames per second, of the
# movie writer beside a plain gst-launch-1.0 pipeline with the same source and encoder settings
# (x264 veryfast, zero latency, 4,000,000 bit/s, fragmented MP4).
#   run-recording-bench.sh <path to qv_recording_bench> [seconds]
# Target: at most 1.15x the plain pipeline.
set -euo pipefail
bench=${1:?path to qv_recording_bench}
seconds=${2:-${QV_BENCH_SECONDS:-20}}
"$(dirname "$0")/../../scripts/deps-bench" recording
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

ours=$("$bench" "$seconds" "$work/ours.mp4" | tail -1)

/usr/bin/time -f "cpu=%U+%S" -o "$work/time" gst-launch-1.0 -q -e \
    videotestsrc is-live=true pattern=smpte horizontal-speed=4 num-buffers=$((seconds * 30)) \
    ! video/x-raw,format=BGRx,width=1920,height=1080,framerate=30/1 \
    ! videoconvert ! video/x-raw,format=I420 \
    ! x264enc bitrate=4000 speed-preset=veryfast tune=zerolatency key-int-max=60 ! video/x-h264,profile=high \
    ! h264parse ! mp4mux fragment-duration=500 ! filesink location="$work/reference.mp4" >/dev/null
ref_cpu=$(echo "$(cut -d= -f2 <"$work/time" | tail -1)" | bc -l)
ref_per_s=$(echo "$ref_cpu / $seconds" | bc -l)

o_per_s=$(field cpu_per_recorded_s "$ours")
ratio=$(echo "$o_per_s / $ref_per_s" | bc -l)
printf '%-32s | %-32s | %s\n' "movie writer (CPU s per recorded s)" "gst-launch (CPU s per recorded s)" "ratio"
printf '%-32.3f | %-32.3f | %.2fx (target <= 1.15x)\n' "$o_per_s" "$ref_per_s" "$ratio"
