#!/usr/bin/env bash
# Renders one large still with GNU parallel as bands of rows, then joins them.
#
#   scripts/farm/parallel-rows.sh SCENE OUT HEIGHT [BANDS]
#
# HEIGHT is the picture's height (the scene's HEIGHT, or the -H in
# GLIMMARK_OPTIONS); BANDS is how many bands (default: one per core). Each
# band is a full-size picture in which only its rows are traced
# (glimmark render --rows A-B); glimmark join-rows puts them together into
# OUT, byte for byte the picture one whole run writes.
#
# Environment: GLIMMARK (the command, default glimmark), JOBS (parallel jobs,
# default one per core), PARALLEL_HOSTS (a --sshlogin list; the scene and
# BAND_FOLDER must then be on a folder every host sees), BAND_FOLDER (where
# the bands go, default a temporary folder beside OUT), GLIMMARK_OPTIONS.
set -euo pipefail

if [ $# -lt 3 ]; then
  sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
scene=$1 out=$2 height=$3 bands=${4:-$(nproc)}
glimmark=${GLIMMARK:-glimmark}
jobs=${JOBS:-100%}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"
[ "$bands" -gt "$height" ] && bands=$height

folder=${BAND_FOLDER:-}
if [ -z "$folder" ]; then
  folder=$(mktemp -d "$(dirname "$out")/.bands.XXXXXX")
  trap 'rm -rf "$folder"' EXIT
fi

band_list() {
  local i
  for (( i = 0; i < bands; i++ )); do
    echo "$(( i * height / bands ))-$(( (i + 1) * height / bands - 1 ))"
  done
}

hosts=()
[ -n "${PARALLEL_HOSTS:-}" ] && hosts=(--sshlogin "$PARALLEL_HOSTS")
band_list | parallel --will-cite --quote --halt now,fail=1 --jobs "$jobs" "${hosts[@]}" \
  "$glimmark" render "$scene" -o "$folder/band_{}.ppm" --rows {} -q -j 1 "${extra[@]}"
"$glimmark" join-rows -o "$out" "$folder"/band_*.ppm
