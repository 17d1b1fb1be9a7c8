#!/usr/bin/env bash
# The studio under random events on a real X server with a window manager:
# copies of a few example scenes in a folder of their own, the monkey let
# loose on them, and on a failure the seed, the last events and the command
# that sends the same events again.
# Usage: monkey_test.sh MONKEY EXAMPLES [--seed N] [--events N] [--seconds S]
# MONKEY_SEED in the environment sets the seed too. Ends with 77 (skipped)
# where Xvfb or openbox is missing.
set -euo pipefail

monkey=$(realpath "$1")
examples=$(realpath "$2")
shift 2
for tool in xvfb-run Xvfb xauth openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
args=("$@")
if [ -n "${MONKEY_SEED:-}" ]; then args+=(--seed "$MONKEY_SEED"); fi

# First on the outside: start a display of our own and come back in on it.
if [ -z "${GMK_MONKEY_DISPLAY:-}" ]; then
  export GMK_MONKEY_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$monkey" "$examples" "${args[@]}"
fi

work=$(mktemp -d)
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/scenes" "$work/home"
for scene in first_sphere csg bounce loops textures mesh; do
  cp "$examples/$scene.gmk" "$work/scenes/"
done
cp "$examples/tiles.png" "$work/scenes/"
# Nothing of the user's: settings, caches and the clipboard's owner are the
# test's own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home/run" QT_QPA_PLATFORM=xcb
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5

status=0
(cd "$work/scenes" && "$monkey" --folder "$work/scenes" --log "$work/events.log" "${args[@]}") || status=$?
if [ $status -ne 0 ]; then
  seed=$(sed -n '1s/^seed //p' "$work/events.log" 2>/dev/null || true)
  [ $status -gt 128 ] && echo "FAIL: ended by signal $((status - 128)) (seed $seed)" >&2
  echo "The last events sent:" >&2
  tail -n 40 "$work/events.log" >&2 || true
  echo "The same events again: MONKEY_SEED=$seed $0 $monkey $examples ${args[*]}" >&2
  exit 1
fi
