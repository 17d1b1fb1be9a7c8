#!/usr/bin/env bash
# An editor's own language client with `glimmark lsp` on scene_with_error.gmk:
#   editor_session_test.sh neovim|emacs <glimmark>
# Skips (77), saying why, when the editor or eglot is not installed; fails
# instead under CI, where scripts/install-deps.sh installs them.
set -euo pipefail
editor=$1
export GLIMMARK=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)

skip() {
  if [ -n "${CI:-}" ]; then
    echo "$1 (CI installs it: scripts/install-deps.sh)" >&2
    exit 1
  fi
  echo "skipped: $1" >&2
  exit 77
}

# A fresh user: no configuration, state or plug-ins of the machine's.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache
mkdir -p "$HOME"
cp "$here/scene_with_error.gmk" "$work/"
export SCENE=$work/scene_with_error.gmk

case $editor in
  neovim)
    command -v nvim > /dev/null || skip "nvim is not installed (Debian: neovim)"
    timeout 60 nvim --headless -u NONE -i NONE -n -c "luafile $here/neovim_session.lua"
    ;;
  emacs)
    command -v emacs > /dev/null || skip "emacs is not installed (Debian: emacs-nox)"
    emacs --batch --eval "(require 'eglot)" > /dev/null 2>&1 ||
      skip "Emacs has no eglot (Debian: elpa-eglot)"
    timeout 60 emacs --batch -l "$here/eglot_session.el"
    ;;
  *)
    echo "usage: $0 neovim|emacs <glimmark>" >&2
    exit 2
    ;;
esac
