#!/usr/bin/env bash
# Renders the frames of an animation with GNU parallel: one job per chunk of
# frames, on this machine or, with PARALLEL_HOSTS, on others by ssh.
#
#   scripts/farm/parallel-frames.sh SCENE OUT [FRAMES_PER_JOB]
#
# The frame count is the scene's own (glimmark check --info). OUT names the
# pictures as render -o does (OUT_0000.png, ... or a %04d pattern);
# FRAMES_PER_JOB defaults to 1. Every job traces its frames A-B with -n, so
# running the recipe again after a failure traces only the frames whose
# pictures are missing or incomplete. Extra options for glimmark render (say
# -W 1920 -H 1080) go in GLIMMARK_OPTIONS.
#
# Environment: GLIMMARK (the command, default glimmark), JOBS (parallel jobs,
# default one per core), PARALLEL_HOSTS (a --sshlogin list; each job runs in
# the folder of the same path, relative to the home folder, on its host, so
# the scene and OUT must be on a folder every host sees there).
set -euo pipefail

usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; }
if [ $# -gt 3 ]; then
  echo "parallel-frames.sh: the frame count comes from the scene now; give SCENE OUT [FRAMES_PER_JOB]" >&2
  exit 2
fi
if [ $# -lt 2 ]; then
  usage
  exit 2
fi
scene=$1 out=$2 chunk=${3:-1}
glimmark=${GLIMMARK:-glimmark}
jobs=${JOBS:-100%}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"
if ! [[ $chunk =~ ^[0-9]+$ ]] || [ "$chunk" -lt 1 ]; then
  echo "parallel-frames.sh: FRAMES_PER_JOB is a whole number from 1, not '$chunk'" >&2
  exit 2
fi

# The frames a render with these options traces; glimmark says why when it
# cannot tell.
info=$("$glimmark" check --info "$scene" "${extra[@]}")
frames=$(sed -n 's/^frames=//p' <<< "$info")

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
if [ -n "${PARALLEL_HOSTS:-}" ]; then
  # GNU parallel finds a job's folder on another host from HOME (taken from
  # the user database when unset), and without SHELL it reports a job that
  # failed there as done.
  [ -n "${HOME:-}" ] || HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
  if [ -z "$HOME" ]; then
    echo "parallel-frames.sh: HOME is not set; GNU parallel needs it for jobs on other hosts" >&2
    exit 2
  fi
  export HOME PARALLEL_SHELL=${PARALLEL_SHELL:-${SHELL:-$(command -v bash)}}
  hosts=(--sshlogin "$PARALLEL_HOSTS" --workdir .)
fi
ranges | parallel --will-cite --quote --halt now,fail=1 --jobs "$jobs" "${hosts[@]}" \
  "$glimmark" render "$scene" -o "$out" --frames {} -n -q -j "$threads" "${extra[@]}"
