#!/usr/bin/env bash
# The studio on a real X server under a window manager, driven as a person
# would: open a scene, replace its text, save with Ctrl+S, play with F5, and
# find the picture in the trace pane beside the editor on a screenshot.
# Usage: studio_smoke_test.sh STUDIO
# Ends with 77 (skipped) where Xvfb, openbox, xdotool or ffmpeg is missing.
set -euo pipefail

studio=$(realpath "$1")
for tool in xvfb-run Xvfb xauth openbox xdotool ffmpeg od awk; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

# First on the outside: start a display of our own and come back in on it.
if [ -z "${GMK_SMOKE_DISPLAY:-}" ]; then
  export GMK_SMOKE_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

readonly W=1280 H=800
work=$(mktemp -d)
studio_pid=
wm_pid=
cleanup() {
  [ -n "$studio_pid" ] && kill "$studio_pid" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  # The last screen, for whoever looks into the failure.
  if [ -f "$work/shot.rgb" ]; then
    ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s ${W}x${H} -i "$work/shot.rgb" \
      studio_smoke_failure.png && echo "screen: $PWD/studio_smoke_failure.png" >&2
  fi
  exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}

# A screenshot as raw RGB, and the count and the bounding box of its pure
# green pixels ("count left top right bottom", or "0").
green_box() {
  ffmpeg -loglevel error -y -f x11grab -video_size ${W}x${H} -i "$DISPLAY" -frames:v 1 \
    -f rawvideo -pix_fmt rgb24 "$work/shot.rgb"
  od -An -v -tu1 -w3 "$work/shot.rgb" | awk -v w=$W '
    $1 == 0 && $2 == 255 && $3 == 0 {
      x = (NR - 1) % w; y = int((NR - 1) / w)
      if (n++ == 0) { l = r = x; t = b = y }
      if (x < l) l = x; if (x > r) r = x; if (y < t) t = y; if (y > b) b = y
    }
    END { if (n) print n, l, t, r, b; else print 0 }'
}

# A fresh user: no remembered view, no recent files.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state
mkdir -p "$HOME"

openbox --sm-disable --startup "touch $work/wm-ready" >"$work/openbox.log" 2>&1 &
wm_pid=$!
wait_for 30 test -f "$work/wm-ready" || fail "openbox did not start"

scene=$work/smoke.gmk
printf 'tracer width 64 height 48 end_tracer\nscene background_color 0, 0, 1 end_scene\n' >"$scene"
"$studio" "$scene" >"$work/studio.log" 2>&1 &
studio_pid=$!
window=
find_window() { window=$(xdotool search --onlyvisible --pid "$studio_pid" 2>/dev/null | head -n1) && [ -n "$window" ]; }
wait_for 60 find_window || fail "no studio window"
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }
timeout 30 xdotool windowactivate --sync "$window" || true
wait_for 30 active || fail "the studio window is not active"
sleep 1

eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window $WIDTH x $HEIGHT at $X,$Y"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le $W ] && [ $((Y + HEIGHT)) -le $H ] ||
  fail "the window is not wholly on the screen"

# Ctrl+V while no program owns the clipboard pastes nothing, and the studio
# stays up.
xdotool key --clearmodifiers ctrl+v
sleep 1
kill -0 "$studio_pid" 2>/dev/null || fail "the studio ended on Ctrl+V with an empty clipboard"

# Replace the text with a green scene and save it under its own name.
new_text='tracer width 64 height 48 end_tracer scene background_color 0, 1, 0 end_scene'
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 15 "$new_text"
xdotool key --clearmodifiers ctrl+s
saved() { grep -qxF "$new_text" "$scene"; }
wait_for 30 saved || fail "Ctrl+S did not write the edited text: $(cat "$scene")"

# No picture before the run...
[ "$(green_box)" = 0 ] || fail "green on the screen before F5"

# ...and the 64 x 48 green picture, whole and 1:1, in the pane right of the
# editor after it.
xdotool key --clearmodifiers F5
box=0
shown() {
  box=$(green_box)
  [ "${box%% *}" -ge $((64 * 48)) ]
}
wait_for 60 shown || fail "no picture after F5 (green: $box)"
read -r count left top right bottom <<<"$box"
echo "green: $count pixels in $left,$top - $right,$bottom"
[ "$count" -eq $((64 * 48)) ] && [ $((right - left + 1)) -eq 64 ] && [ $((bottom - top + 1)) -eq 48 ] ||
  fail "the picture is not a whole 64 x 48 block"
[ "$left" -gt $((X + WIDTH / 3)) ] && [ "$right" -lt $((X + WIDTH)) ] &&
  [ "$top" -gt "$Y" ] && [ "$bottom" -lt $((Y + HEIGHT)) ] ||
  fail "the picture is not in the pane right of the editor"

echo "studio smoke test passed"
