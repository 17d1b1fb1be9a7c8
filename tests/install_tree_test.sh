#!/usr/bin/env bash
# Installs the build into a fresh prefix, as `cmake --install` does for a
# user, and checks that the programs, their documentation and the desktop's
# files are there and sound.
# Usage: install_tree_test.sh BUILD VERSION STUDIO(0|1)
set -euo pipefail
build=$1
version=$2
studio=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
skipped=0
fail() {
  echo "$*" >&2
  status=1
}

files=(
  bin/glimmark
  share/man/man1/glimmark.1.gz
  share/bash-completion/completions/glimmark
  share/doc/glimmark/gmkhelp.htm
  share/doc/glimmark/LICENSE
  share/glimmark/farm/parallel-frames.sh
  share/glimmark/farm/parallel-rows.sh
  share/glimmark/farm/slurm-frames.sbatch
)
# Every example, with the pictures its scenes read.
while IFS= read -r example; do
  files+=("share/doc/glimmark/examples/$example")
done < <(cd "$(dirname "$0")/../examples" && find . -type f | sed 's|^\./||')
if [ "$studio" = 1 ]; then
  files+=(
    bin/glimmark-studio
    share/man/man1/glimmark-studio.1.gz
    share/bash-completion/completions/glimmark-studio
    share/applications/glimmark-studio.desktop
    share/mime/packages/glimmark.xml
    share/icons/hicolor/scalable/apps/glimmark-studio.svg
  )
fi
for f in "${files[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
for program in bin/glimmark share/glimmark/farm/{parallel-frames.sh,parallel-rows.sh,slurm-frames.sbatch}; do
  [ -x "$prefix/$program" ] || fail "$program is not executable"
done
# The copyright and changelog files are the packages' own.
[ ! -e "$prefix/share/doc/glimmark/copyright" ] || fail "a plain install has Debian's copyright"

# The installed programs run and give the project's version.
first=$("$prefix/bin/glimmark" --version | head -n 1)
[ "$first" = "glimmark $version" ] || fail "glimmark --version: '$first'"
grep -q 'MIT License' "$prefix/share/doc/glimmark/LICENSE" || fail "LICENSE is not the MIT licence"
# The installed program finds the video encoder module installed with it
# (the build's own is not looked at from outside the build tree).
if [ -f "$build/lib/glimmark-ffmpeg.so" ]; then
  "$prefix/bin/glimmark" --version | grep -q libavformat ||
    fail "the installed glimmark does not load its video encoder module"
fi

# The man pages are gzip files that man formats without a warning.
for page in "$prefix"/share/man/man1/*.1.gz; do
  gzip -t "$page" || fail "$page is not a gzip file"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  fi
done

if [ "$studio" = 1 ]; then
  first=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/glimmark-studio" --version | head -n 1)
  [ "$first" = "glimmark-studio $version" ] || fail "glimmark-studio --version: '$first'"
  desktop="$prefix/share/applications/glimmark-studio.desktop"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate failed on $desktop"
  else
    echo "desktop-file-validate is not installed (desktop-file-utils): skipped" >&2
    skipped=1
  fi
  grep -qx 'MimeType=text/x-glimmark;' "$desktop" || fail "the desktop entry does not claim .gmk"
  grep -qx 'Icon=glimmark-studio' "$desktop" || fail "the desktop entry names another icon"
  # The database built from the XML maps *.gmk to the type the entry claims.
  if command -v update-mime-database >/dev/null; then
    XDG_DATA_DIRS="$prefix/share:${XDG_DATA_DIRS:-/usr/share}" update-mime-database "$prefix/share/mime" 2>&1 | grep . >&2 && fail "update-mime-database complained"
    grep -qx 'text/x-glimmark:\*\.gmk' "$prefix/share/mime/globs" || fail "*.gmk is not text/x-glimmark"
  fi
fi

# The completion offers the commands and a command's options.
if [ -f /usr/share/bash-completion/bash_completion ]; then
  got=$(PATH="$prefix/bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    complete_line() {
      COMP_LINE=$1; COMP_POINT=${#1}; read -ra COMP_WORDS <<<"$1 "
      [[ $1 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
      "$2" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      printf "%s " "${COMPREPLY[@]}"; echo
    }
    complete_line "glimmark re" _glimmark
    complete_line "glimmark record --co" _glimmark
    complete_line "glimmark record -o a.mp4 --codec " _glimmark
  ' _ "$prefix/share/bash-completion/completions/glimmark")
  expected=$'render record \n--codec \nh264 mpeg4 '
  [ "$got" = "$expected" ] || fail "bash completion gave: $got"
fi
if [ $status -eq 0 ] && [ $skipped = 1 ]; then
  exit 77
fi
exit $status
