#!/usr/bin/env bash
# Movie memory benchmark: camera movies one after another through the camera controller on the
# synthetic camera at 1920x1080, each recorded for a few seconds and announced with its thumbnail;
# descriptors, threads, heap in use and resident memory after each.
#   run-movie-memory-bench.sh <path to qv_movie_memory_bench> [movies] [seconds per movie]
# Targets, after the first two movies: no descriptor and no thread more, the heap in use at most
# 1 MB more, and the floor of the resident memory (its lowest reading over the later half of the
# movies against that over the earlier half) at most 16 MB higher. The readings themselves move by
# tens of MB from one movie to the next, with where the allocator put the live camera's frames.
set -euo pipefail
bench=${1:?path to qv_movie_memory_bench}
movies=${2:-14}
seconds=${3:-${QV_BENCH_SECONDS:-3}}
"$(dirname "$0")/../../scripts/deps-bench" recording

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 2560x1440x24 -nolisten tcp" "$0" "$bench" "$movies" "$seconds"
fi
export QT_QPA_PLATFORM=xcb

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

out=$("$bench" "$movies" "$seconds" | grep -E '^(movie|descriptor_growth)=')
grep '^movie=' <<<"$out"
summary=$(tail -1 <<<"$out")
descriptors=$(field descriptor_growth "$summary")
threads=$(field thread_growth "$summary")
heap=$(field heap_growth_mb "$summary")
early=$(field rss_early_mb "$summary")
late=$(field rss_late_mb "$summary")
rss=$(echo "$late - $early" | bc -l)
verdict=met
if [[ $descriptors != 0 || $threads -gt 0 ]] || (($(echo "$heap > 1 || $rss > 16" | bc -l))); then
    verdict="not met"
fi
printf '\nFrom movie 2 to movie %s: %+d descriptors, %+d threads, heap in use %+.1f MB\n' \
    "$movies" "$descriptors" "$threads" "$heap"
printf 'Resident memory, lowest over movies 3-%s against the later ones: %.1f -> %.1f MB (%+.1f MB)\n' \
    "$((2 + (movies - 2) / 2))" "$early" "$late" "$rss"
echo "Target: no descriptor or thread more, heap at most +1 MB, resident memory at most +16 MB: $verdict"
