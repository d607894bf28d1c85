#!/usr/bin/env bash
# The program driven through its own controls for many rounds on a virtual 1920x1080 desktop of
# its own (Xvfb with openbox): a camera movie, a screen recording, a snapshot, picture-in-picture
# on and off, the archive list opened and closed and a GIF export each round (soak.py tells the
# steps). Prints the program's descriptors, threads and resident memory after the warm-up round and
# after the last, with the target: no more descriptors or threads than after the warm-up, RSS
# within 50 MB of it. Exit code 0 met, 1 not met, 2 a step did not happen.
#   soak.sh <build folder> [rounds, 30] [folder for screenshots of the first round]
# The program listens on its port 9080: run it where no other copy does (e.g. under netns-run).
set -euo pipefail
build=$(realpath "${1:?build folder}")
rounds=${2:-${QV_SOAK_ROUNDS:-30}}
shots=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
"$root/scripts/deps-bench" soak
args=(--build "$build" --rounds "$rounds")
[ -n "$shots" ] && args+=(--shots "$(realpath -m "$shots")")
exec "$root/scripts/virtual-desktop" -s 1920x1080 python3 "$here/soak.py" "${args[@]}"
