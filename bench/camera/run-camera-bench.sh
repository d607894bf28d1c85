#!/usr/bin/env bash
# Camera benchmark: the camera view on the synthetic camera beside a plain gst-launch-1.0
# pipeline that shows the same test source in an X window, at 1280x720, 1920x1080 and 3840x2160,
# 30 frames per second; then capturePhoto() to PNG at 1080p and 4K.
#   run-camera-bench.sh <path to qv_camera_bench> [seconds]
# Targets: no dropped frames at 1080p30; CPU per shown frame at most 1.2x the plain pipeline;
# a 1080p photo on disk in under 150 ms.
set -euo pipefail
bench=${1:?path to qv_camera_bench}
seconds=${2:-${QV_BENCH_SECONDS:-20}}

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 2560x1440x24 -nolisten tcp" "$0" "$bench" "$seconds"
fi
export QT_QPA_PLATFORM=xcb

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

# The plain pipeline: frames rendered and dropped from fpsdisplaysink, CPU time from the kernel.
reference() {
    local w=$1 h=$2 out
    out=$(mktemp)
    /usr/bin/time -f "cpu=%U+%S" timeout -s INT "$seconds" gst-launch-1.0 -v \
        videotestsrc is-live=true pattern=smpte ! "video/x-raw,format=NV12,width=$w,height=$h,framerate=30/1" \
        ! videoconvert ! fpsdisplaysink video-sink=ximagesink text-overlay=false sync=false >"$out" 2>&1 || true
    local last cpu
    last=$(grep -o 'rendered: [0-9]*, dropped: [0-9]*' "$out" | tail -1)
    cpu=$(grep -o 'cpu=[0-9.+]*' "$out" | tail -1 | cut -d= -f2)
    rm -f "$out"
    local rendered=${last#rendered: }
    rendered=${rendered%%,*}
    local dropped=${last##*dropped: }
    echo "rendered=${rendered:-0} dropped=${dropped:-0} cpu_s=$(echo "$cpu" | bc -l)"
}

printf '%-10s | %-36s | %-36s | %s\n' size "camera view (fps, dropped, CPU ms/frame)" \
    "gst-launch (fps, dropped, CPU ms/frame)" "CPU ratio"
for spec in 720:1280:720 1080:1920:1080 4K:3840:2160; do
    IFS=: read -r name w h <<<"$spec"
    ours=$("$bench" preview "$name" "$seconds" | tail -1)
    ref=$(reference "$w" "$h")
    r_frames=$(field rendered "$ref")
    r_cpu=$(field cpu_s "$ref")
    r_fps=$(echo "$r_frames / $seconds" | bc -l)
    r_ms=$(echo "if ($r_frames > 0) $r_cpu * 1000 / $r_frames else 0" | bc -l)
    o_ms=$(field cpu_ms_per_frame "$ours")
    ratio=$(echo "if ($r_ms > 0) $o_ms / $r_ms else 0" | bc -l)
    printf '%-10s | %6.2f fps %6s dropped %8.3f ms | %6.2f fps %6s dropped %8.3f ms | %.2fx\n' \
        "${w}x${h}" "$(field shown_fps "$ours")" "$(field dropped "$ours")" "$o_ms" \
        "$r_fps" "$(field dropped "$ref")" "$r_ms" "$ratio"
done

echo
echo "capturePhoto() to PNG on disk (median of 5; reference: same picture, QImage default PNG level)"
for name in 1080 4K; do
    echo "$name: $("$bench" photo "$name" 5 | tail -1)"
done
