#!/usr/bin/env bash
# Peak memory and time of the documents that reach each limit a scene has,
# rendered at 8 x 8 (or checked) with /usr/bin/time -v.
# Usage: bench/worst_cases.sh [BUILD]
set -uo pipefail
build=${1:-build}
glimmark=$(cd "$build" && pwd)/glimmark
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# $1 name, $2 item, $3 outer passes, $4 items per inner pass (1024 inner
# passes), $5 text after the loops, $6 the scene's first light
loops() {
  local body="" i
  for ((i = 0; i < $4; ++i)); do body+="$2 "; done
  printf 'TRACER WIDTH 8 HEIGHT 8 END_TRACER\nSCENE %s\n' "${6-LIGHT TRANSLATE 0 5 -5 END_LIGHT}" >"$work/$1.gmk"
  printf 'LOOP o LT o %s LOOP i LT i 1024 %s END_LOOP END_LOOP %s\nEND_SCENE\n' "$3" "$body" "${5:-}" >>"$work/$1.gmk"
}

loops spheres_at_limit "SPHERE TRANSLATE i o 9 END_SPHERE" 512 8
loops spheres_over_limit "SPHERE TRANSLATE i o 9 END_SPHERE" 512 8 "SPHERE }"
loops sor_at_limit "SOR 1 0 1 1 TRANSLATE i o 9 END_SOR" 512 8
loops triangles_at_limit "MESH VERTEX_LIST i o 9 0 0 -1 0 0 ADD i 1 o 9 0 0 -1 1 0 i ADD o 1 9 0 0 -1 0 1 END_VERTEX_LIST END_MESH" 512 8
loops lights_at_limit "LIGHT TRANSLATE i o -9 STRENGTH 0.001 END_LIGHT" 64 1 "SPHERE }" ""
loops lights_over_limit "LIGHT TRANSLATE i o -9 STRENGTH 0.001 END_LIGHT" 64 1 "SPHERE }"
loops materials_at_limit "MATERIAL DIFFUSE 0.5 0.5 0.5 END_MATERIAL" 512 4 "SPHERE }"
# Nested loops that would make 1024^3 shapes stop at the pass limit.
printf 'SCENE LOOP a LT a 1024 LOOP b LT b 1024 LOOP c LT c 1024 SPHERE } END_LOOP END_LOOP END_LOOP END_SCENE\n' >"$work/billion_spheres.gmk"
# 16 MB of comment behind a loop that splices a DEFINE on every pass.
{
  printf 'DEFINE NAME s SPHERE } END_DEFINE SCENE LOOP i LT i 1000 INCLUDE NAME s END_INCLUDE END_LOOP END_SCENE\n['
  head -c 16000000 /dev/zero | tr '\0' x
  printf ']\n'
} >"$work/splices.gmk"
printf 'TRACER WIDTH 16384 HEIGHT 16384 END_TRACER SCENE SPHERE } END_SCENE\n' >"$work/largest_image.gmk"
# One texture of 8192 x 8192 texels, the most a scene may hold, as a
# run-length TGA.
python3 - "$work/big.tga" <<'PY'
import struct, sys
w = h = 8192
with open(sys.argv[1], "wb") as f:
    f.write(struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, w, h, 24, 0))
    f.write(bytes([0xFF, 40, 80, 120]) * (w * h // 128))
PY
printf 'TRACER WIDTH 8 HEIGHT 8 END_TRACER SCENE MATERIAL TEXTURE_FILE "big.tga" END_MATERIAL SPHERE } END_SCENE\n' >"$work/largest_texture.gmk"

printf '%-22s %8s %10s  %s\n' document seconds "peak MB" "exit: first line of stderr"
for f in ${ONLY:-spheres_at_limit spheres_over_limit sor_at_limit triangles_at_limit lights_at_limit lights_over_limit \
    materials_at_limit billion_spheres splices largest_image largest_texture}; do
  /usr/bin/time -v "$glimmark" render -q "$work/$f.gmk" -o "$work/$f.png" 2>"$work/$f.err" >/dev/null
  status=$?
  rss=$(awk -F': ' '/Maximum resident set size/ {print int($2 / 1024)}' "$work/$f.err")
  secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$f.err")
  first=$(grep -v -E '^\s|Command being timed' "$work/$f.err" | head -1 | cut -c1-90)
  printf '%-22s %8s %10s  %s: %s\n' "$f" "$secs" "$rss" "$status" "$first"
done
