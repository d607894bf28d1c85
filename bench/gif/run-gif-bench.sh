#!/usr/bin/env bash
# GIF export benchmark: 20 frames of 1280 x 720 written by our encoder, by ImageMagick's
# `convert -delay 50` and by gifski (`--fps 2 --width 1280`), side by side in one run, on two sets
# made here: photo-like frames (one plasma:fractal picture of 1600 x 900 with a fixed seed, cropped
# at 20 positions along its diagonal) and 20 frames of the synthetic camera's test pattern. For
# each: wall time, file size and mean PSNR of the decoded frames against the source frames.
#   run-gif-bench.sh <path to qv_gif_bench>
# Target (photo-like set): at least 3x faster than ImageMagick and faster than gifski, at a PSNR
# at least ImageMagick's and within 1 dB of gifski's.
# scripts/deps-bench installs ImageMagick and gifski, the latter from the npm package of that name
# into $QV_BENCH_TOOLS (default: a folder beside the benchmark binary).
set -euo pipefail
bench=$(realpath "${1:?path to qv_gif_bench}")
tools=${QV_BENCH_TOOLS:-$(dirname "$bench")/tools}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$(dirname "$0")/../../scripts/deps-bench" --gifski "$tools" gif

# ImageMagick itself (not a wrapper that may stand in front of it on PATH).
im=$(command -v convert-im6.q16 || command -v magick || command -v convert) || { echo "ImageMagick is missing (scripts/deps-bench gif)"; exit 1; }

# The package ships one binary per system; ours is the Debian one.
gifski="$tools/node_modules/gifski/bin/debian/gifski"
[ -x "$gifski" ] || { echo "gifski binary not found under $tools"; exit 1; }

# The two frame sets.
mkdir -p "$work/photo" "$work/pattern"
"$im" -seed 4242 -size 1600x900 plasma:fractal "$work/plasma.png"
for i in $(seq 0 19); do
    x=$((i * 320 / 19)); y=$((i * 180 / 19))
    "$im" "$work/plasma.png" -crop "1280x720+$x+$y" +repage "$work/photo/$(printf 'frame%02d.png' "$i")"
done
gst-launch-1.0 -q videotestsrc pattern=smpte horizontal-speed=16 num-buffers=20 \
    ! video/x-raw,format=RGB,width=1280,height=720,framerate=2/1 ! pngenc \
    ! multifilesink location="$work/pattern/frame%02d.png" >/dev/null

now() { date +%s.%N; }
mb() { echo "scale=2; $(stat -c %s "$1") / 1000000" | bc -l; }

run_set() {
    local set=$1 dir="$work/$1"
    local frames=("$dir"/frame*.png)
    local t0 t1
    t0=$(now); "$bench" export "$dir/ours.gif" 0.5 "${frames[@]}"; t1=$(now)
    local ours_t; ours_t=$(echo "$t1 - $t0" | bc -l)
    t0=$(now); "$im" -delay 50 "${frames[@]}" "$dir/im.gif"; t1=$(now)
    local im_t; im_t=$(echo "$t1 - $t0" | bc -l)
    t0=$(now); "$gifski" --quiet --fps 2 --width 1280 -o "$dir/gifski.gif" "${frames[@]}"; t1=$(now)
    local gs_t; gs_t=$(echo "$t1 - $t0" | bc -l)

    local ours_p im_p gs_p
    ours_p=$("$bench" psnr "$dir/ours.gif" "${frames[@]}")
    im_p=$("$bench" psnr "$dir/im.gif" "${frames[@]}")
    gs_p=$("$bench" psnr "$dir/gifski.gif" "${frames[@]}")

    echo "== $set: ${#frames[@]} frames of 1280x720"
    printf '%-12s | %9s | %9s | %9s\n' "" "time s" "size MB" "PSNR dB"
    printf '%-12s | %9.2f | %9.2f | %9.2f\n' "ours" "$ours_t" "$(mb "$dir/ours.gif")" "$ours_p"
    printf '%-12s | %9.2f | %9.2f | %9.2f\n' "ImageMagick" "$im_t" "$(mb "$dir/im.gif")" "$im_p"
    printf '%-12s | %9.2f | %9.2f | %9.2f\n' "gifski" "$gs_t" "$(mb "$dir/gifski.gif")" "$gs_p"
    printf 'speed: %.2fx ImageMagick, %.2fx gifski | size: %.2fx ImageMagick, %.2fx gifski | PSNR: %+.2f dB vs ImageMagick, %+.2f dB vs gifski\n' \
        "$(echo "$im_t / $ours_t" | bc -l)" "$(echo "$gs_t / $ours_t" | bc -l)" \
        "$(echo "$(stat -c %s "$dir/ours.gif") / $(stat -c %s "$dir/im.gif")" | bc -l)" \
        "$(echo "$(stat -c %s "$dir/ours.gif") / $(stat -c %s "$dir/gifski.gif")" | bc -l)" \
        "$(echo "$ours_p - $im_p" | bc -l)" "$(echo "$ours_p - $gs_p" | bc -l)"
    if [ "$set" = photo ]; then
        local ok=yes
        [ "$(echo "$im_t >= 3 * $ours_t" | bc -l)" = 1 ] || ok=no
        [ "$(echo "$gs_t > $ours_t" | bc -l)" = 1 ] || ok=no
        [ "$(echo "$ours_p >= $im_p" | bc -l)" = 1 ] || ok=no
        [ "$(echo "$ours_p >= $gs_p - 1" | bc -l)" = 1 ] || ok=no
        echo "target (>= 3x ImageMagick, faster than gifski, PSNR >= ImageMagick and within 1 dB of gifski): $ok"
    fi
}

run_set photo
run_set pattern
