#!/usr/bin/env bash
# Renders the frames of an animation with GNU parallel: one job per chunk of
# frames, on this machine or, with PARALLEL_HOSTS, on others by ssh.
#
#   scripts/farm/parallel-frames.sh SCENE OUT FRAMES [FRAMES_PER_JOB]
#
# OUT names the pictures as render -o does (OUT_0000.png, ... or a %04d
# pattern); FRAMES is the animation's frame count. Every job traces its
# frames A-B with -n, so running the recipe again after a failure traces only
# the frames that are missing. Extra options for glimmark render (say -W 1920
# -H 1080) go in GLIMMARK_OPTIONS.
#
# Environment: GLIMMARK (the command, default glimmark), JOBS (parallel jobs,
# default one per core), PARALLEL_HOSTS (a --sshlogin list; the scene and OUT
# must then be on a folder every host sees).
set -euo pipefail

if [ $# -lt 3 ]; then
  sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
scene=$1 out=$2 frames=$3 chunk=${4:-1}
glimmark=${GLIMMARK:-glimmark}
jobs=${JOBS:-100%}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"

# One job per core: each job traces on one thread unless told otherwise.
threads=1
case "$jobs" in *%) ;; *) threads=$(( $(nproc) / jobs > 0 ? $(nproc) / jobs : 1 ));; esac

ranges() {
  local first=0
  while [ "$first" -lt "$frames" ]; do
    local last=$(( first + chunk - 1 ))
    [ "$last" -ge "$frames" ] && last=$(( frames - 1 ))
    echo "$first-$last"
    first=$(( last + 1 ))
  done
}

hosts=()
[ -n "${PARALLEL_HOSTS:-}" ] && hosts=(--sshlogin "$PARALLEL_HOSTS")
ranges | parallel --will-cite --quote --halt now,fail=1 --jobs "$jobs" "${hosts[@]}" \
  "$glimmark" render "$scene" -o "$out" --frames {} -n -q -j "$threads" "${extra[@]}"
