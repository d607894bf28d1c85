#!/usr/bin/env bash
# The program driven through its own controls for many rounds on a virtual 1920x1080 desktop of
# its own (Xvfb with openbox): a camera movie, a screen recording, a snapshot, picture-in-picture
# on and off, the archive list opened and closed and a GIF export each round (soak.py tells the
# steps). Prints the program's descriptors, threads and resident memory after the warm-up round and
# after the last, with the target: no more descriptors or threads than after the warm-up, RSS
# within 50 MB of it. Exit code 0 met, 1 not met, 2 a step did not happen.
#   soak.sh <build folder> [rounds, 30] [folder for screenshots of the first round]
# The program listens on its port 9080: run it where no other copy does (another network namespace, say).
set -euo pipefail
build=$(realpath "${1:?build folder}")
rounds=${2:-${QV_SOAK_ROUNDS:-30}}
shots=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
"$root/scripts/deps-bench" soak
# The run's home and save folder. soak.py removes it and ends the program when it ends or is
# stopped; so does this script when it is stopped itself (the driver and the program, by the ids
# the driver noted there).
work=$(mktemp -d -t qv-soak-XXXXXX)
driver=
cleanup() {
    local id
    for id in "$work/program.pid" "$work/soak.pid"; do
        [ -s "$id" ] || continue
        [ "$id" = "$work/program.pid" ] && kill -TERM -- "-$(cat "$id")" 2>/dev/null  # its process group
        kill -TERM "$(cat "$id")" 2>/dev/null
    done
    [ -n "$driver" ] && kill -TERM "$driver" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP
args=(--build "$build" --rounds "$rounds" --work "$work")
[ -n "$shots" ] && args+=(--shots "$(realpath -m "$shots")")
"$root/scripts/virtual-desktop" -s 1920x1080 python3 "$here/soak.py" "${args[@]}" &
driver=$!
status=0
wait "$driver" || status=$?
driver=
exit "$status"
