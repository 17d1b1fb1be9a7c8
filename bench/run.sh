#!/bin/sh
# The benchmarks: every benchmark scene in the three trace modes (the plain
# sequential loop, the hierarchy on one thread, the hierarchy on every core),
# the hierarchy's build time, and the comparison with POV-Ray.
#
#   bench/run.sh [BUILD]          (make bench runs it with the build folder)
#
# Environment:
#   GMK_BENCH_SCENES  the benchmark folder with gen_mesh.py and the scenes
#                     (default: ../shared/bench beside this repository)
#   PLAIN_SIZE=WxH    trace the plain loop at WxH instead of 640x480 (the
#                     plain loop takes minutes on the mesh; rates are then
#                     compared per camera ray)
#   POV=0             skip the POV-Ray comparison
#   RUNS=N            runs per POV-Ray comparison (default 3)
#   BIG_SIZE=WxH      the large comparison's size (default 2560x1920): whole
#                     process with PNG output against POV-Ray, then with PPM
#                     output for the one-thread against all-threads ratio
#   BIG=0             skip the large comparison
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-build}" && pwd)
scenes=${GMK_BENCH_SCENES:-$root/../shared/bench}

if [ ! -x "$build/glimmark_bench" ]; then
    echo "bench/run.sh: $build/glimmark_bench is missing (it is built when Google Benchmark," \
         "libbenchmark-dev, is installed)" >&2
    exit 2
fi
if [ ! -f "$build/bench/gmk/mesh_data.gmk" ]; then
    echo "Generating the benchmark data into $build/bench"
    python3 "$scenes/gen_mesh.py" --out "$build/bench"
fi

plain=""
if [ -n "${PLAIN_SIZE:-}" ]; then plain="--plain_size=$PLAIN_SIZE"; fi
echo "== Scenes in three modes: $build/glimmark_bench --scenes=$build/bench/gmk $plain"
uptime
"$build/glimmark_bench" --scenes="$build/bench/gmk" $plain --benchmark_enable_random_interleaving=true \
    --benchmark_out="$build/bench/scenes.json" --benchmark_out_format=json

if [ "${POV:-1}" != 0 ] && command -v povray > /dev/null; then
    echo
    echo "== POV-Ray comparison: python3 $here/compare_pov.py --build $build --runs ${RUNS:-3}"
    python3 "$here/compare_pov.py" --build "$build" --runs "${RUNS:-3}" --threads "1,$(nproc)"
    if [ "${BIG:-1}" != 0 ]; then
        big=${BIG_SIZE:-2560x1920}
        for format in png ppm; do
            echo
            echo "== POV-Ray comparison at $big, Glimmark writing $format:" \
                 "python3 $here/compare_pov.py --build $build --runs ${RUNS:-3} --size $big --format $format"
            python3 "$here/compare_pov.py" --build "$build" --runs "${RUNS:-3}" \
                --threads "1,$(nproc)" --size "$big" --format "$format"
        done
    fi
fi
