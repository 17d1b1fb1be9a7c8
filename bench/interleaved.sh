#!/bin/bash
# Two ways of running each benchmark scene at 2560x1920, alternating, the
# fastest of N runs of each: a slow minute on a shared machine then lands on
# both sides instead of one.
#
#   bench/interleaved.sh threads [BUILD] [N]   1 against 2 threads, PPM output
#   bench/interleaved.sh png [BUILD] [N]       PNG against PPM, 2 threads
#
# Prints wall and processor seconds (from /usr/bin/time, in 10 ms steps) and
# the ratio or the PNG's share. Needs the generated scenes in BUILD/bench/gmk.
set -euo pipefail
mode=${1:?threads or png}
build=$(cd "${2:-build}" && pwd)
runs=${3:-8}
cd "$build/bench/gmk"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for scene in showcase showcase_noaa many_spheres mesh; do
  for _ in $(seq "$runs"); do
    for side in a b; do
      if [ "$mode" = threads ]; then
        threads=$([ $side = a ] && echo 1 || echo 2); format=ppm
      else
        threads=2; format=$([ $side = a ] && echo ppm || echo png)
      fi
      /usr/bin/time -f "$side %e %U %S" "$build/glimmark" render "$scene.gmk" \
        -o "$out/x.$format" -q -j "$threads" -W 2560 -H 1920 2>&1 >/dev/null | tail -1
    done
  done | awk -v scene="$scene" -v mode="$mode" '
    { cpu = $3 + $4
      if (!($1 in wall) || $2 < wall[$1]) wall[$1] = $2
      if (!($1 in proc) || cpu < proc[$1]) proc[$1] = cpu }
    END {
      if (mode == "threads")
        printf "%-14s 1 thread %.2f s (cpu %.2f)  2 threads %.2f s (cpu %.2f)  ratio %.2f\n",
               scene, wall["a"], proc["a"], wall["b"], proc["b"], wall["a"] / wall["b"]
      else
        printf "%-14s ppm %.2f s (cpu %.2f)  png %.2f s (cpu %.2f)  png share of wall %.1f %%\n",
               scene, wall["a"], proc["a"], wall["b"], proc["b"],
               100 * (wall["b"] - wall["a"]) / wall["b"] }'
done
