#!/usr/bin/env bash
# A Slurm array job rendering the frames of an animation: array task i traces
# frames i*K to i*K+K-1 (the last task those left), whatever else the array
# holds, so any set of tasks can be submitted again: --array=20,23 or a
# stepped --array=0-30:10 traces exactly the frames of those tasks.
#
#   scripts/farm/slurm-frames.sbatch SCENE OUT [K]     prints the sbatch line
#   sbatch --array=0-LAST scripts/farm/slurm-frames.sbatch SCENE OUT K
#
# K, the frames of a task, is given, or else derived from the scene alone:
# 1, or FRAMES / 1000 rounded up for more than 1000 frames (Slurm's default
# MaxArraySize is 1001). The frame count is the scene's own (glimmark check
# --info). Run outside Slurm, the script prints the sbatch line for the whole
# animation with K written out; keep the same SCENE OUT K when submitting
# tasks again. A task whose frames lie past the animation refuses (exit 2).
# OUT names the pictures as render -o does. Every task traces with -n, so a
# task that is requeued (a node failed, a preemption) skips the frames it
# finished before and traces again any picture left cut short. The threads
# are those of the allocation: --cpus-per-task sets them. Options for
# glimmark render go in GLIMMARK_OPTIONS, the command in GLIMMARK (default
# glimmark).
#SBATCH --job-name=glimmark
#SBATCH --requeue
#SBATCH --cpus-per-task=1
#SBATCH --output=glimmark-%A_%a.log
set -euo pipefail

usage() { awk 'NR > 1 && /^#/ && !/^#SBATCH/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; }
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  if [ $# -gt 3 ]; then
    echo "slurm-frames.sbatch: the frame count comes from the scene now; give SCENE OUT [K]" >&2
  else
    usage
  fi
  exit 2
fi
scene=$1 out=$2 per_task=${3:-}
glimmark=${GLIMMARK:-glimmark}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"
if [ -n "$per_task" ] && { ! [[ $per_task =~ ^[0-9]+$ ]] || [ "$per_task" -lt 1 ]; }; then
  echo "slurm-frames.sbatch: K, the frames of a task, is a whole number from 1, not '$per_task'" >&2
  exit 2
fi

# The frames a render with these options traces; glimmark says why when it
# cannot tell.
info=$("$glimmark" check --info "$scene" "${extra[@]}")
frames=$(sed -n 's/^frames=//p' <<< "$info")
[ -n "$per_task" ] || per_task=$(( frames > 1000 ? (frames + 999) / 1000 : 1 ))
tasks=$(( (frames + per_task - 1) / per_task ))

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  if [ -n "${SLURM_JOB_ID:-}" ]; then
    echo "slurm-frames.sbatch: job $SLURM_JOB_ID is no array job; submit it with --array=0-$(( tasks - 1 ))" >&2
    exit 2
  fi
  printf 'sbatch --array=0-%d %q %q %q %d\n' "$(( tasks - 1 ))" "$0" "$scene" "$out" "$per_task"
  exit 0
fi

task=$SLURM_ARRAY_TASK_ID
first=$(( task * per_task ))
last=$(( first + per_task - 1 ))
[ "$last" -ge "$frames" ] && last=$(( frames - 1 ))
if [ "$first" -ge "$frames" ]; then
  echo "slurm-frames.sbatch: task $task would trace frames $first-$(( first + per_task - 1 )), past the last frame $(( frames - 1 )) of '$scene' (tasks 0-$(( tasks - 1 )) with K $per_task)" >&2
  exit 2
fi
echo "task $task: frames $first-$last of $frames"

# --progress - puts key=value records in the task's log once a second.
exec "$glimmark" render "$scene" -o "$out" --frames "$first-$last" -n -q --progress - \
  -j "${SLURM_CPUS_PER_TASK:-0}" "${extra[@]}"
