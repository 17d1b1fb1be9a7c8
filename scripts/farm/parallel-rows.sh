#!/usr/bin/env bash
# Renders one large still with GNU parallel as bands of rows, then joins them.
#
#   scripts/farm/parallel-rows.sh SCENE OUT [BANDS]
#
# BANDS is how many bands (default: one per core, at most one per row); the
# picture's height is the scene's own, or the -H in GLIMMARK_OPTIONS
# (glimmark check --info). Each band is a full-size picture in which only its
# rows are traced (glimmark render --rows A-B); glimmark join-rows puts them
# together into OUT, byte for byte the picture one whole run writes.
#
# Environment: GLIMMARK (the command, default glimmark), JOBS (parallel jobs,
# default one per core), PARALLEL_HOSTS (a --sshlogin list; each job runs in
# the folder of the same path, relative to the home folder, on its host, so
# the scene and BAND_FOLDER must be on a folder every host sees there),
# BAND_FOLDER (where the bands go, default a temporary folder beside OUT),
# GLIMMARK_OPTIONS (options for glimmark render, say -W 8000 -H 6000).
set -euo pipefail

usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; }
if [ $# -gt 3 ]; then
  echo "parallel-rows.sh: the height comes from the scene now; give SCENE OUT [BANDS]" >&2
  exit 2
fi
if [ $# -lt 2 ]; then
  usage
  exit 2
fi
scene=$1 out=$2 bands=${3:-$(nproc)}
glimmark=${GLIMMARK:-glimmark}
jobs=${JOBS:-100%}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"
if ! [[ $bands =~ ^[0-9]+$ ]] || [ "$bands" -lt 1 ]; then
  echo "parallel-rows.sh: BANDS is a whole number from 1, not '$bands'" >&2
  exit 2
fi

# The height a render with these options traces; glimmark says why when it
# cannot tell.
info=$("$glimmark" check --info "$scene" "${extra[@]}")
height=$(sed -n 's/^height=//p' <<< "$info")
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
if [ -n "${PARALLEL_HOSTS:-}" ]; then
  # GNU parallel finds a job's folder on another host from HOME (taken from
  # the user database when unset), and without SHELL it reports a job that
  # failed there as done.
  [ -n "${HOME:-}" ] || HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
  if [ -z "$HOME" ]; then
    echo "parallel-rows.sh: HOME is not set; GNU parallel needs it for jobs on other hosts" >&2
    exit 2
  fi
  export HOME PARALLEL_SHELL=${PARALLEL_SHELL:-${SHELL:-$(command -v bash)}}
  hosts=(--sshlogin "$PARALLEL_HOSTS" --workdir .)
fi
band_list | parallel --will-cite --quote --halt now,fail=1 --jobs "$jobs" "${hosts[@]}" \
  "$glimmark" render "$scene" -o "$folder/band_{}.ppm" --rows {} -q -j 1 "${extra[@]}"
"$glimmark" join-rows -o "$out" "$folder"/band_*.ppm
