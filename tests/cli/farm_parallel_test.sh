#!/usr/bin/env bash
# The GNU parallel recipes of scripts/farm on this machine: the frames of an
# animation and the joined bands of a still, byte for byte those of whole runs.
#   farm_parallel_test.sh GLIMMARK SOURCE_DIR
set -euo pipefail
glimmark=$1 source=$2
if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed (scripts/install-deps.sh installs it); skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > scene.gmk <<'SCENE'
ANIMATION FRAMES 5 END_ANIMATION
TRACER WIDTH 48 HEIGHT 37 ANTIALIASING 4 END_TRACER
SCENE BACKGROUND_COLOR 0.1 0.1 0.3
 CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA
 LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT
 PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE
 SPHERE TRANSLATE -1 TIME 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL END_SPHERE
 SPHERE TRANSLATE 1.2 0.6 -0.5 SCALE 0.6 0.6 0.6 END_SPHERE
END_SCENE
SCENE
export GLIMMARK=$glimmark
fail=0

mkdir whole farm
"$glimmark" render scene.gmk -q -o whole/f.png >/dev/null
"$source/scripts/farm/parallel-frames.sh" scene.gmk farm/f.png 5 2 >/dev/null
for f in whole/*.png; do
  cmp "$f" "farm/$(basename "$f")" || fail=1
done
[ "$(ls farm | wc -l)" = 5 ] || { echo "farm frames: $(ls farm)"; fail=1; }

# A restarted recipe traces nothing that is there: a frame's file is kept.
echo "P6 kept" > farm/f_0003.png
"$source/scripts/farm/parallel-frames.sh" scene.gmk farm/f.png 5 2 >/dev/null
[ "$(cat farm/f_0003.png)" = "P6 kept" ] || { echo "a finished frame was traced again"; fail=1; }

"$glimmark" render scene.gmk -q --time 0.4 -o still.png >/dev/null
GLIMMARK_OPTIONS="--time 0.4" "$source/scripts/farm/parallel-rows.sh" scene.gmk joined.png 37 4 \
  >/dev/null
cmp still.png joined.png || fail=1
[ -z "$(ls -A | grep '^\.bands')" ] || { echo "the bands were left behind"; fail=1; }

[ "$fail" = 0 ] && echo "the farm's pictures are those of whole runs"
exit "$fail"
