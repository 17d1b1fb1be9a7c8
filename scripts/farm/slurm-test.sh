#!/usr/bin/env bash
# `make farm-test`, and ctest's FarmSlurm: brings up a one-node Slurm cluster
# on this machine (Debian's slurm-wlm and munge, which scripts/install-deps.sh
# installs), runs slurm-frames.sbatch as array jobs (a whole run, tasks 1 and
# 3 again over a cut-short frame and a stale part file, stepped ranges, a task
# past the end) and compares every frame with a whole run's, byte for byte.
# Where Slurm cannot start (not root, not installed, no node) it says why and
# skips (exit 77); a farm that runs and gives other pictures fails (exit 1).
#   scripts/farm/slurm-test.sh BUILD_DIR
set -uo pipefail
build=${1:-build}
source=$(cd "$(dirname "$0")/../.." && pwd)
glimmark=$(cd "$build" && pwd)/glimmark

# 77: skipped, for ctest (make farm-test reports it as a skip too).
skip() {
  echo "farm-test skipped: $*"
  exit 77
}

[ -x "$glimmark" ] || { echo "no $glimmark: build first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || skip "starting Slurm's daemons needs root"

for daemon in slurmctld slurmd munged sbatch; do
  command -v "$daemon" >/dev/null ||
    skip "no $daemon: scripts/install-deps.sh installs slurm-wlm and munge"
done

work=$(mktemp -d /tmp/glimmark-farm.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# munge: a key of this test's own, and a daemon on a socket of its own.
mkdir -p "$work/munge"
chmod 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 2>/dev/null
chmod 400 "$work/munge/munge.key"
socket=$work/munge/munge.socket
munged --force --key-file="$work/munge/munge.key" --socket="$socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed" >/dev/null 2>&1 ||
  skip "munged would not start: $(tail -n 2 "$work/munge/munged.log" 2>/dev/null)"
pids+=("$(cat "$work/munge/munged.pid")")

host=$(hostname -s)
cpus=$(nproc)
# Ports of this run's own, so that two runs on one machine do not meet.
port=$(( 20000 + $$ % 10000 * 2 ))
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat > "$SLURM_CONF" <<CONF
ClusterName=glimmarkfarm
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
SlurmctldPort=$port
SlurmdPort=$(( port + 1 ))
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=farm Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -D -i >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D >"$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 30); do
  state=$(sinfo -h -n "$host" -o %t 2>/dev/null)
  [ "$state" = idle ] && break
  sleep 1
done
if [ "${state:-}" != idle ]; then
  why=$(tail -n 3 "$work/slurmd.log" "$work/slurmd.out" "$work/slurmctld.log" 2>/dev/null |
    grep -i -m 3 'error\|fatal' || true)
  skip "the node did not come up (state '${state:-none}'): ${why:-no error logged}"
fi

# The farm: 8 frames over 4 array tasks of K 2, against one whole run.
cd "$work" || exit 2
cat > scene.gmk <<'GMK'
ANIMATION FRAMES 8 END_ANIMATION
TRACER WIDTH 48 HEIGHT 37 ANTIALIASING 4 END_TRACER
SCENE BACKGROUND_COLOR 0.1 0.1 0.3
 CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA
 LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT
 PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE
 SPHERE TRANSLATE -1 TIME 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL END_SPHERE
END_SCENE
GMK
mkdir whole
"$glimmark" render scene.gmk -q -o whole/f.png >/dev/null
fail=0
failed() {
  echo "farm-test: $*"
  fail=1
}

# sbatch --wait --array=SPEC SCENE OUT [K]; the names the tasks wrote, sorted,
# in traced.txt (a frame traced twice shows twice), the logs removed.
submit() {
  local spec=$1
  shift
  rm -f glimmark-*.log
  if ! GLIMMARK=$glimmark timeout 300 sbatch --wait --array="$spec" --chdir="$work" \
    "$source/scripts/farm/slurm-frames.sbatch" "$@" >/dev/null; then
    failed "the array job --array=$spec failed"
    cat glimmark-*.log
  fi
  cat glimmark-*.log | grep -E '^[a-z]+/f_[0-9]{4}\.png$' | sort > traced.txt || true
}
# same FOLDER FRAME...: those pictures are byte for byte the whole run's.
same() {
  local folder=$1 n
  shift
  for n in "$@"; do
    cmp -s "whole/f_$n.png" "$folder/f_$n.png" || failed "$folder/f_$n.png differs from a whole run"
  done
}
# traced FOLDER FRAME...: the last submission wrote exactly these, once each.
traced() {
  local folder=$1 want
  shift
  want=$(printf "$folder/f_%s.png\n" "$@")
  [ "$(cat traced.txt)" = "$want" ] || failed "traced $(tr '\n' ' ' < traced.txt)instead of $*"
}
all=(0000 0001 0002 0003 0004 0005 0006 0007)

# A whole run as an array: every frame once.
mkdir full
submit 0-3 scene.gmk full/f.png 2
traced full "${all[@]}"
same full "${all[@]}"
[ "$(ls full | wc -l)" = 8 ] || failed "full/ holds $(ls full | tr '\n' ' ')"

# Tasks 1 and 3 again: frame 2 cut short, frame 7 missing and a part file a
# killed task left for frame 6; frames 3 and 6 are whole and stay.
head -c 100 full/f_0002.png > cut.png && mv cut.png full/f_0002.png
rm full/f_0007.png
echo partial > full/.f_0006.png.4242-0.part
submit 1,3 scene.gmk full/f.png 2
traced full 0002 0007
same full "${all[@]}"
parts=(full/.*.part)
[ ! -e "${parts[0]}" ] || failed "a stale part file stayed: ${parts[*]}"

# A stepped range and then the tasks between: the array's shape changes
# nothing, and the two together trace every frame once.
mkdir stepped
submit 0-3:2 scene.gmk stepped/f.png 2
traced stepped 0000 0001 0004 0005
submit 1-3:2 scene.gmk stepped/f.png 2
traced stepped 0002 0003 0006 0007
same stepped "${all[@]}"

# The derived K (1 for this scene) with --array=0-30:10 over 31 frames.
sed 's/FRAMES 8/FRAMES 31/' scene.gmk > long.gmk
mkdir long
submit 0-30:10 long.gmk long/f.png
rm -r whole && mkdir whole
"$glimmark" render long.gmk -q -o whole/f.png --frames 0-30 >/dev/null
traced long 0000 0010 0020 0030
same long 0000 0010 0020 0030

# A task past the animation fails, saying so.
rm -f glimmark-*.log
if GLIMMARK=$glimmark timeout 300 sbatch --wait --array=4 --chdir="$work" \
  "$source/scripts/farm/slurm-frames.sbatch" scene.gmk full/f.png 2 >/dev/null; then
  failed "task 4 of 8 frames in 2s succeeded"
fi
grep -q 'past the last frame 7' glimmark-*_4.log || failed "task 4 said: $(cat glimmark-*_4.log)"

if [ "$fail" = 0 ]; then
  echo "farm-test: the array tasks traced every frame of a whole run once, resubmitted or stepped"
fi
exit "$fail"
