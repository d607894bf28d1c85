#!/usr/bin/env bash
# The program at rest: the whole program as a user starts it (a virtual 1920x1080 desktop with a
# window manager, a synthetic camera, the whiteboard page loaded, nothing drawn) beside a plain
# gst-launch-1.0 pipeline that shows the same test source at the same size on the same display.
# For 720p, 1080p and 4K at 30 frames per second it prints the CPU of each (the process and its
# children, per second of wall time, in % of one core), the program's main thread, the ratio
# program/pipeline, and the time from launch to the first camera frame on screen and to the
# whiteboard page loaded. Each size runs `rounds` times; the median round is printed.
#   run-idle-bench.sh <path to quorvane> [seconds per measurement] [rounds]
# QV_BENCH_SIZES picks some of the sizes (720, 1080, 4K; all by default).
# Targets at 1080p30: at most 5x the plain pipeline's CPU, the main thread under 25% of one core,
# the first camera frame within 1.5 s and the whiteboard loaded within 2 s of launch.
set -euo pipefail
exe=$(realpath "${1:?path to quorvane}")
seconds=${2:-${QV_BENCH_SECONDS:-10}}
rounds=${3:-${QV_BENCH_ROUNDS:-3}}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
"$root/scripts/deps-bench" idle

if [[ -z "${QV_IDLE_BENCH_INNER:-}" ]]; then
    export QV_IDLE_BENCH_INNER=1
    exec "$root/scripts/virtual-desktop" -s 1920x1080 "$0" "$exe" "$seconds" "$rounds"
fi
export QT_QPA_PLATFORM=xcb
export QV_RESOURCES_DIR=${QV_RESOURCES_DIR:-$root/resources}
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
hz=$(getconf CLK_TCK)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

now() { echo "$EPOCHREALTIME"; }
# CPU ticks (user + system) of one process or thread stat file.
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$1" 2>/dev/null || echo 0; }
# A process and all its descendants.
tree() {
    local p=$1
    echo "$p"
    for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do tree "$c"; done
}
# Sum of CPU ticks of every thread of a process tree (threads that ended in between are lost,
# so live ticks are sampled at both ends over the same set of processes).
tree_ticks() {
    local sum=0 p
    for p in $(tree "$1"); do sum=$((sum + $(ticks /proc/"$p"/stat | cut -d. -f1))); done
    echo "$sum"
}
# % of one core used by a process tree and by its main thread over `seconds`.
measure() {
    local pid=$1 t0 m0 w0 t1 m1 w1
    t0=$(tree_ticks "$pid"); m0=$(ticks /proc/"$pid"/task/"$pid"/stat); w0=$(now)
    sleep "$seconds"
    t1=$(tree_ticks "$pid"); m1=$(ticks /proc/"$pid"/task/"$pid"/stat); w1=$(now)
    echo "$(echo "($t1 - $t0) * 100 / $hz / ($w1 - $w0)" | bc -l) $(echo "($m1 - $m0) * 100 / $hz / ($w1 - $w0)" | bc -l)"
}

# The plain pipeline, the same source at the same size on the same display.
reference() {
    local w=$1 h=$2 pid cpu
    gst-launch-1.0 -q videotestsrc is-live=true pattern=smpte ! "video/x-raw,width=$w,height=$h,framerate=30/1" \
        ! videoconvert ! ximagesink >/dev/null 2>&1 &
    pid=$!
    sleep 3
    cpu=$(measure "$pid")
    kill -INT "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
    echo "${cpu%% *}"
}

# The program with a fresh home (a stored save folder, so no folder prompt) and a single synthetic
# camera of the given size. Prints: cpu% main% first-frame-s whiteboard-s.
program() {
    local w=$1 h=$2 resolution=$3 home="$work/home" pid start log="$work/log-$w"
    rm -rf "$home/config" "$home/save"; mkdir -p "$home/config/Quorvane" "$home/save"
    local folder
    folder=$(printf '%s' "$(realpath "$home/save")" | base64 -w0)
    printf '{"bookmark_folder": {"base64": "%s"}, "bookmark_resolution": "%s"}\n' "$folder" "$resolution" \
        >"$home/config/Quorvane/$(basename "$exe").json"
    cat >"$home/devices.json" <<JSON
{"cameras": [{"name": "Quorvane Pimlet V5", "uniqueID": "synthetic:/dev/video0:2c4a0029", "pattern": "smpte",
  "formats": [{"subtype": "420v", "width": $w, "height": $h, "frameRates": [[5, 30]]}]}], "microphones": []}
JSON
    start=$(now)
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/.cache" QUORVANE_SYNTHETIC_DEVICES="$home/devices.json" \
        stdbuf -oL -eL "$exe" >"$log" 2>&1 &
    pid=$!
    # Each line's arrival is stamped by polling the log (for at most a minute).
    local frame="" page="" seen until=$((${EPOCHREALTIME%.*} + 60))
    while ((${EPOCHREALTIME%.*} < until)); do
        seen=$(grep -o -e "First camera frame shown" -e "didFinish1" "$log" || true)
        [[ -z $frame && $seen == *First* ]] && frame=$(now)
        [[ -z $page && $seen == *didFinish1* ]] && page=$(now)
        [[ -n $frame && -n $page ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    sleep 3
    local cpu
    cpu=$(measure "$pid")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait 2>/dev/null || true
    local f=- p=-
    [[ -n $frame ]] && f=$(echo "$frame - $start" | bc -l)
    [[ -n $page ]] && p=$(echo "$page - $start" | bc -l)
    echo "$cpu $f $p"
}


# One home for every launch, as a user has: GStreamer's plugin registry is built once, here, not
# on the program's first start (the plain pipeline has its own home's registry).
mkdir -p "$work/home"
HOME="$work/home" XDG_CACHE_HOME="$work/home/.cache" gst-inspect-1.0 videotestsrc >/dev/null 2>&1 || true

printf '%-10s | %9s %9s | %9s | %7s | %11s %11s\n' size program "main thr" gst-launch ratio "1st frame" whiteboard
for size in 720:1280:720:720P@30fps 1080:1920:1080:1080P@30fps 4K:3840:2160:4K@30fps; do
    IFS=: read -r name w h resolution <<<"$size"
    [[ " ${QV_BENCH_SIZES:-720 1080 4K} " == *" $name "* ]] || continue
    rows=()
    for _ in $(seq "$rounds"); do
        ref=$(reference "$w" "$h")
        read -r cpu main frame page <<<"$(program "$w" "$h" "$resolution")"
        ratio=$(echo "if ($ref > 0) $cpu / $ref else 999" | bc -l)
        rows+=("$ratio $cpu $main $ref $frame $page")
    done
    # The round with the median ratio stands for the size.
    row=$(printf '%s\n' "${rows[@]}" | sort -g | awk '{ a[NR] = $0 } END { print a[int((NR + 1) / 2)] }')
    read -r ratio cpu main ref frame page <<<"$row"
    fmt() { [[ $1 == - ]] && echo "    never" || printf '%7.2f s' "$1"; }
    printf '%-10s | %8.1f%% %8.1f%% | %8.1f%% | %6.1fx | %11s %11s\n' "${w}x${h}" "$cpu" "$main" "$ref" "$ratio" \
        "$(fmt "$frame")" "$(fmt "$page")"
    if [[ $name == 1080 ]]; then t_ratio=$ratio t_main=$main t_frame=$frame t_page=$page; fi
done

[[ -n ${t_ratio:-} ]] || exit 0  # the targets are judged at 1080p
verdict=met
if (($(echo "$t_ratio > 5" | bc -l))) || (($(echo "$t_main >= 25" | bc -l))) || [[ $t_frame == - || $t_page == - ]] ||
    (($(echo "$t_frame > 1.5" | bc -l))) || (($(echo "$t_page > 2" | bc -l))); then verdict="not met"; fi
printf '\nTarget at 1920x1080: at most 5x the plain pipeline, main thread under 25%%, first frame within 1.5 s, whiteboard within 2 s: %s\n' "$verdict"
