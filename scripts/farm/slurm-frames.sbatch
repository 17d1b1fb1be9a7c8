#!/usr/bin/env bash
# A Slurm array job rendering the frames of an animation: one array task per
# range of frames.
#
#   sbatch --array=0-TASKS-1 scripts/farm/slurm-frames.sbatch SCENE OUT FRAMES
#
# Task i traces frames i*K to i*K+K-1 of the FRAMES frames, where K is
# ceil(FRAMES / TASKS); OUT names the pictures as render -o does. Every task
# traces with -n, so a task that is requeued (a node failed, a preemption)
# skips the frames it finished before. The threads are those of the
# allocation: --cpus-per-task sets them (and where it is not set, glimmark's
# default uses every CPU the task may run on). Options for glimmark render go in
# GLIMMARK_OPTIONS, the command in GLIMMARK (default glimmark).
#SBATCH --job-name=glimmark
#SBATCH --requeue
#SBATCH --cpus-per-task=1
#SBATCH --output=glimmark-%A_%a.log
set -euo pipefail

if [ $# -lt 3 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=0-TASKS-1 $0 SCENE OUT FRAMES" >&2
  exit 2
fi
scene=$1 out=$2 frames=$3
glimmark=${GLIMMARK:-glimmark}
read -r -a extra <<< "${GLIMMARK_OPTIONS:-}"

tasks=${SLURM_ARRAY_TASK_COUNT:-1}
task=$(( SLURM_ARRAY_TASK_ID - ${SLURM_ARRAY_TASK_MIN:-0} ))
per_task=$(( (frames + tasks - 1) / tasks ))
first=$(( task * per_task ))
last=$(( first + per_task - 1 ))
[ "$last" -ge "$frames" ] && last=$(( frames - 1 ))
if [ "$first" -gt "$last" ]; then
  echo "task $task: no frames left (FRAMES $frames over $tasks tasks)"
  exit 0
fi

# --progress - puts key=value records in the task's log once a second.
exec "$glimmark" render "$scene" -o "$out" --frames "$first-$last" -n -q --progress - \
  -j "${SLURM_CPUS_PER_TASK:-0}" "${extra[@]}"
