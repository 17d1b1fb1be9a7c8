#!/usr/bin/env bash
# The GNU parallel recipes of scripts/farm on this machine: the frames of an
# animation and the joined bands of a still, byte for byte those of whole runs,
# with the counts read from the scene; jobs "on another host" through an ssh
# that starts them in another folder; and the frames of the Slurm array
# script's tasks, worked out without Slurm.
#   farm_parallel_test.sh GLIMMARK SOURCE_DIR
set -euo pipefail
glimmark=$1 source=$2
if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed (scripts/install-deps.sh installs it); skipped"
  exit 77
fi
farm=$source/scripts/farm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > scene.gmk <<'GMK'
ANIMATION FRAMES 5 END_ANIMATION
TRACER WIDTH 48 HEIGHT 37 ANTIALIASING 4 END_TRACER
SCENE BACKGROUND_COLOR 0.1 0.1 0.3
 CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA
 LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT
 PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE
 SPHERE TRANSLATE -1 TIME 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL END_SPHERE
 SPHERE TRANSLATE 1.2 0.6 -0.5 SCALE 0.6 0.6 0.6 END_SPHERE
END_SCENE
GMK
export GLIMMARK=$glimmark
fail=0
failed() {
  echo "$*"
  fail=1
}
same_frames() {
  local f
  for f in whole/*.png; do
    cmp "$f" "$1/$(basename "$f")" || fail=1
  done
  [ "$(ls "$1" | wc -l)" = 5 ] || failed "$1 holds: $(ls "$1")"
}

mkdir whole farm
"$glimmark" render scene.gmk -q -o whole/f.png >/dev/null
"$farm/parallel-frames.sh" scene.gmk farm/f.png 2 >/dev/null
same_frames farm

# A restarted recipe keeps the whole pictures and traces again a frame cut
# short: f_0003 holds frame 0's picture (whole, so kept), f_0001 half a file.
cp farm/f_0000.png farm/f_0003.png
head -c 60 whole/f_0001.png > farm/f_0001.png
"$farm/parallel-frames.sh" scene.gmk farm/f.png 2 >/dev/null
cmp -s farm/f_0000.png farm/f_0003.png || failed "a whole frame was traced again"
cmp farm/f_0001.png whole/f_0001.png || failed "a frame cut short was kept"

# Jobs on another host start in its login folder; the recipe takes them to
# this folder (here a stand-in for ssh runs them from $work/login).
mkdir login remote
cat > ssh <<EOF2
#!/usr/bin/env bash
while [ \$# -gt 0 ]; do case \$1 in -*) shift ;; *) break ;; esac; done
shift
[ "\${1:-}" = -- ] && shift
cd "$work/login" && exec bash -c "\$*"
EOF2
chmod +x ssh
# Without HOME and SHELL (as under some CI runners) GNU parallel loses the exit
# status of a job on another host: a job that fails there must fail the recipe.
remote() { env -u HOME -u SHELL PARALLEL_SSH=$work/ssh PARALLEL_HOSTS=farmhost JOBS=2 "$farm/$@"; }
remote parallel-frames.sh scene.gmk remote/f.png 3 >/dev/null 2>remote.err ||
  failed "the jobs on another host failed: $(cat remote.err)"
same_frames remote
! remote parallel-frames.sh scene.gmk nowhere/f.png 3 >/dev/null 2>&1 ||
  failed "frames that failed on another host were reported done"

"$glimmark" render scene.gmk -q --time 0.4 -o still.png >/dev/null
GLIMMARK_OPTIONS="--time 0.4" "$farm/parallel-rows.sh" scene.gmk joined.png 4 >/dev/null
cmp still.png joined.png || fail=1
# The height of GLIMMARK_OPTIONS, not the scene's.
"$glimmark" render scene.gmk -q --time 0.4 -H 50 -o tall.png >/dev/null
GLIMMARK_OPTIONS="--time 0.4 -H 50" "$farm/parallel-rows.sh" scene.gmk joined.png 3 >/dev/null
cmp tall.png joined.png || fail=1
bands=(.bands*)
[ ! -e "${bands[0]}" ] || failed "the bands were left behind: ${bands[*]}"

# The usage is the leading comment alone; a wrong command line is one line
# on stderr and exit 2, with nothing traced.
for script in parallel-frames.sh parallel-rows.sh slurm-frames.sbatch; do
  status=0
  "$farm/$script" > out.txt 2> err.txt || status=$?
  [ "$status" = 2 ] && [ -s err.txt ] && [ ! -s out.txt ] || failed "$script alone: exit $status"
  ! grep -q 'set -euo\|SBATCH' err.txt || failed "$script's usage ends in: $(tail -n 1 err.txt)"
  for args in "scene.gmk bad/f.png 5 2" "scene.gmk bad/f.png 0" "scene.gmk bad/f.png x"; do
    status=0
    # shellcheck disable=SC2086
    "$farm/$script" $args > out.txt 2> err.txt || status=$?
    [ "$status" = 2 ] && [ "$(wc -l < err.txt)" = 1 ] || failed "$script $args: exit $status, $(cat err.txt)"
  done
done
[ ! -e bad ] || failed "a refused recipe wrote bad/"

# The Slurm array script: task i traces frames i*K to i*K+K-1 whatever the
# array, the last task those left; a task past the animation refuses.
task() { SLURM_ARRAY_TASK_ID=$1 SLURM_ARRAY_TASK_MIN=${2:-0} SLURM_ARRAY_TASK_COUNT=${3:-1} \
  "$farm/slurm-frames.sbatch" scene.gmk slurm/f.png "${@:4}"; }
mkdir slurm
first_line() { "$@" > out.txt 2>/dev/null && head -n 1 out.txt; }
[ "$(first_line task 1 1 2 2)" = "task 1: frames 2-3 of 5" ] || failed "task 1 of --array=1,3"
[ "$(first_line task 2 0 3 2)" = "task 2: frames 4-4 of 5" ] || failed "task 2, the last"
[ "$(first_line task 4 0 2)" = "task 4: frames 4-4 of 5" ] || failed "task 4 with the derived K"
[ "$(ls slurm)" = "$(printf 'f_0002.png\nf_0003.png\nf_0004.png')" ] || failed "slurm: $(ls slurm)"
status=0
task 3 1 2 2 > out.txt 2> err.txt || status=$?
[ "$status" = 2 ] && grep -q 'task 3 would trace frames 6-7, past the last frame 4' err.txt ||
  failed "task 3 past the end: exit $status, $(cat err.txt)"
[ "$("$farm/slurm-frames.sbatch" scene.gmk slurm/f.png 2)" = \
  "sbatch --array=0-2 $farm/slurm-frames.sbatch scene.gmk slurm/f.png 2" ] ||
  failed "the sbatch line: $("$farm/slurm-frames.sbatch" scene.gmk slurm/f.png 2)"

[ "$fail" = 0 ] && echo "the farm's pictures are those of whole runs"
exit "$fail"
