#!/usr/bin/env bash
# Camera benchmark: the camera view on the synthetic camera beside a plain gst-launch-1.0
# pipeline that shows the same test source in an X window, at 1280x720, 1920x1080 and 3840x2160,
# 30 frames per second; then capturePhoto() to PNG at 1080p and 4K. The plain pipeline runs twice:
# showing the frames at their own size (no scaling), and scaled to the 1280x720 area the camera
# view shows them in (as the camera view does).
#   run-camera-bench.sh <path to qv_camera_bench> [seconds]
# Targets: no dropped frames at 1080p30; CPU per shown frame at most 1.2x the plain pipeline
# scaled to 1280x720 (the last ratio column: the camera view shows the picture in that area, so
# that is the fair comparison; the own-size ratio is printed for information); a 1080p photo on
# disk in under 150 ms.
set -euo pipefail
bench=${1:?path to qv_camera_bench}
seconds=${2:-${QV_BENCH_SECONDS:-20}}
"$(dirname "$0")/../../scripts/deps-bench" camera

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 2560x1440x24 -nolisten tcp" "$0" "$bench" "$seconds"
fi
export QT_QPA_PLATFORM=xcb

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

# The plain pipeline: frames rendered and dropped from fpsdisplaysink, CPU time from the kernel.
reference() {
    local w=$1 h=$2 out scale=()
    [[ ${3:-} == scaled ]] && scale=(videoscale ! "video/x-raw,width=1280,height=720" !)
    out=$(mktemp)
    /usr/bin/time -f "cpu=%U+%S" timeout -s INT "$seconds" gst-launch-1.0 -v \
        videotestsrc is-live=true pattern=smpte ! "video/x-raw,format=NV12,width=$w,height=$h,framerate=30/1" \
        ! videoconvert ! "${scale[@]}" fpsdisplaysink video-sink=ximagesink text-overlay=false sync=false >"$out" 2>&1 || true
    local last cpu
    last=$(grep -o 'rendered: [0-9]*, dropped: [0-9]*' "$out" | tail -1)
    cpu=$(grep -o 'cpu=[0-9.+]*' "$out" | tail -1 | cut -d= -f2)
    rm -f "$out"
    local rendered=${last#rendered: }
    rendered=${rendered%%,*}
    local dropped=${last##*dropped: }
    echo "rendered=${rendered:-0} dropped=${dropped:-0} cpu_s=$(echo "$cpu" | bc -l)"
}

# Columns: frames shown per second, frames dropped, CPU ms per shown frame; ratio = camera view's
# CPU per frame over the plain pipeline's.
printf '%-10s | %-34s | %-34s %-6s | %-34s %s\n' size "camera view" "gst-launch, own size" ratio \
    "gst-launch, scaled to 1280x720" ratio
plain() {
    local frames cpu
    frames=$(field rendered "$1")
    cpu=$(field cpu_s "$1")
    printf '%6.2f fps %3s dropped %7.3f ms' "$(echo "$frames / $seconds" | bc -l)" "$(field dropped "$1")" \
        "$(echo "if ($frames > 0) $cpu * 1000 / $frames else 0" | bc -l)"
}
per_frame() { echo "if ($(field rendered "$1") > 0) $(field cpu_s "$1") * 1000 / $(field rendered "$1") else 0" | bc -l; }
for size in 720:1280:720 1080:1920:1080 4K:3840:2160; do
    IFS=: read -r name w h <<<"$size"
    ours=$("$bench" preview "$name" "$seconds" | tail -1)
    own=$(reference "$w" "$h")
    scaled=$(reference "$w" "$h" scaled)
    o_ms=$(field cpu_ms_per_frame "$ours")
    if [[ $name == 1080 ]]; then
        target_ratio=$(echo "$o_ms / $(per_frame "$scaled")" | bc -l)
        target_dropped=$(field dropped "$ours")
    fi
    printf '%-10s | %6.2f fps %3s dropped %7.3f ms | %s %5.2fx | %s %5.2fx\n' "${w}x${h}" \
        "$(field shown_fps "$ours")" "$(field dropped "$ours")" "$o_ms" \
        "$(plain "$own")" "$(echo "$o_ms / $(per_frame "$own")" | bc -l)" \
        "$(plain "$scaled")" "$(echo "$o_ms / $(per_frame "$scaled")" | bc -l)"
done

verdict=met
if [[ ${target_dropped:-1} != 0 ]] || (($(echo "${target_ratio:-99} > 1.2" | bc -l))); then verdict="not met"; fi
printf '\nTarget at 1920x1080: 0 dropped and CPU per shown frame at most 1.20x the plain pipeline scaled to 1280x720 (last ratio column): %s (%s dropped, %.2fx)\n' \
    "$verdict" "${target_dropped:-?}" "${target_ratio:-0}"

echo
echo "capturePhoto() to PNG on disk (median of 5; reference: same picture, QImage default PNG level)"
for name in 1080 4K; do
    echo "$name: $("$bench" photo "$name" 5 | tail -1)"
done
