#!/usr/bin/env bash
# `make farm-test`: brings up a one-node Slurm cluster on this machine (Debian's
# slurm-wlm and munge, installed here when missing), runs slurm-frames.sbatch
# as an array job and compares its frames with a whole run. Where Slurm cannot
# start it says why and skips (exit 0); a farm that runs and gives other
# pictures fails (exit 1).
#   scripts/farm/slurm-test.sh BUILD_DIR
set -uo pipefail
build=${1:-build}
source=$(cd "$(dirname "$0")/../.." && pwd)
glimmark=$(cd "$build" && pwd)/glimmark

skip() {
  echo "farm-test skipped: $*"
  exit 0
}

[ -x "$glimmark" ] || { echo "no $glimmark: build first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || skip "starting Slurm's daemons needs root"

if ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update && apt-get install -y --no-install-recommends slurm-wlm munge; } \
    >/tmp/glimmark-farm-apt.log 2>&1 ||
    skip "slurm-wlm and munge could not be installed (see /tmp/glimmark-farm-apt.log)"
fi

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
SlurmctldPort=16817
SlurmdPort=16818
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

# The farm: 5 frames over 3 array tasks, against one whole run.
cd "$work"
cat > scene.gmk <<'SCENE'
ANIMATION FRAMES 5 END_ANIMATION
TRACER WIDTH 48 HEIGHT 37 ANTIALIASING 4 END_TRACER
SCENE BACKGROUND_COLOR 0.1 0.1 0.3
 CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA
 LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT
 PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE
 SPHERE TRANSLATE -1 TIME 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL END_SPHERE
END_SCENE
SCENE
mkdir whole farm
"$glimmark" render scene.gmk -q -o whole/f.png >/dev/null
GLIMMARK=$glimmark sbatch --wait --array=0-2 --chdir="$work" \
  "$source/scripts/farm/slurm-frames.sbatch" scene.gmk farm/f.png 5 >/dev/null ||
  { echo "farm-test: the array job failed"; cat "$work"/glimmark-*.log; exit 1; }
fail=0
for f in whole/*.png; do
  cmp "$f" "farm/$(basename "$f")" || fail=1
done
[ "$(ls farm | wc -l)" = 5 ] || fail=1
if [ "$fail" = 0 ]; then
  echo "farm-test: the Slurm array job wrote the frames of a whole run"
else
  echo "farm-test: the Slurm frames differ from a whole run"
fi
exit "$fail"
