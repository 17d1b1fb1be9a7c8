#!/usr/bin/env bash
# What the bash completion offers for a command line typed up to <TAB>, in a
# folder of scenes, pictures and videos; and that its codecs and extensions
# are those the program itself takes.
# Usage: completion_test.sh GLIMMARK COMPLETION_FILE
# Ends with 77 (skipped) where bash-completion is not installed.
set -u
glimmark=$(realpath "$1")
completion=$(realpath "$2")
framework=/usr/share/bash-completion/bash_completion
if [ ! -f "$framework" ]; then
  echo "bash-completion is not installed: skipped" >&2
  exit 77
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir .bin vids
ln -s "$glimmark" .bin/glimmark
cat >scene.gmk <<'EOF'
ANIMATION START_TIME 0 END_TIME 1 FRAMES 2 FRAMES_PER_SECOND 2 OUTPUT_FILE "clips/Out.WEBM" END_ANIMATION
EOF
touch band_0.png band_1.ppm notes.txt v1.mp4 v2.webm v3.gif v4.avi v5.mkv v6.png v7.txt

# Each line typed, then the words offered, sorted ("-" for none).
presets='fast faster medium slow slower superfast ultrafast veryfast veryslow'
table="
glimmark j|join-rows
glimmark re|record render
glimmark |--help --version check join-rows lsp record render
glimmark l|lsp
glimmark record --codec |gif h264 mjpeg mpeg4 raw vp9
glimmark record -o a.mkv --codec |h264 mpeg4 vp9
glimmark record -o A.MP4 --codec |h264 mpeg4
glimmark record --output=a.gif --codec |gif
glimmark record -o a.webm -q --codec |vp9
glimmark record -o a.out --codec |mjpeg raw
glimmark record -o clip --codec |mjpeg raw
glimmark record scene.gmk --codec |vp9
glimmark record scene.gmk -o a.avi --codec |mjpeg raw
glimmark record -o v|v1.mp4 v2.webm v3.gif v4.avi v5.mkv vids
glimmark render -o v|v6.png vids
glimmark render --pass depth,n|depth,normal
glimmark join-rows -o out.png b|band_0.png band_1.ppm
glimmark record --crf |-
glimmark record --quality |-
glimmark render --progress-interval |-
glimmark record --progress-interval |-
glimmark record -o a.mp4 --preset |$presets
glimmark record -o a.mkv --preset |$presets
glimmark record --preset |$presets
glimmark record -o a.mkv --codec vp9 --preset |best fast good realtime
glimmark record -o a.webm --preset g|good
glimmark record -o a.avi --preset |-
glimmark record --codec mpeg4 -o a.mp4 --preset s|-
glimmark record -o a.mp4 --preset very|veryfast veryslow
glimmark check --i|--info
glimmark render --progress-|--progress-interval
glimmark record --pre|--preset
"

offered() {
  PATH="$folder/.bin:$PATH" bash -c '
    source "$1"
    source "$2"
    line=$3
    COMP_LINE=$line COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " || -z $line ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _glimmark glimmark "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"
  ' _ "$framework" "$completion" "$1" </dev/null | grep . | sort | tr '\n' ' ' | sed 's/ $//'
}

status=0
while IFS='|' read -r line expected; do
  [ -n "$line" ] || continue
  got=$(offered "$line")
  [ -n "$got" ] || got=-
  if [ "$got" != "$expected" ]; then
    echo "'$line<TAB>' offers '$got', not '$expected'" >&2
    status=1
  fi
done <<<"$table"

# The codecs offered for each extension are those the program takes in that
# container, and the extensions those it records to (with this build).
all=$("$glimmark" record missing.gmk --codec none 2>&1 | sed -n 's/.*--codec is \(.*\), not .*/\1/p' |
  sed 's/,\? or /, /; s/, /\n/g' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$all" = "$(offered 'glimmark record --codec ')" ] || {
  echo "the program takes the codecs '$all'" >&2
  status=1
}
extensions=$("$glimmark" record missing.gmk -o a.none --codec vp9 2>&1 |
  sed -n 's/.*ending in one of \(.*\) that holds.*/\1/p' | sed 's/, /\n/g; s/\.//g')
for ext in $extensions; do
  for codec in $all; do
    holds=$("$glimmark" record missing.gmk -o "a.$ext" --codec "$codec" 2>&1 |
      sed -n 's/.*; it holds //p' | sed 's/, /\n/g' | sort | tr '\n' ' ' | sed 's/ $//')
    [ -n "$holds" ] && break
  done
  got=$(offered "glimmark record -o a.$ext --codec ")
  if [ -z "$holds" ] || [ "$got" != "$holds" ]; then
    echo ".$ext: the completion offers '$got', the program holds '$holds'" >&2
    status=1
  fi
done
[ "$(echo "$extensions" | wc -w)" -gt 1 ] || echo "only .avi is recorded by this build" >&2
exit $status
