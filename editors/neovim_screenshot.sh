#!/usr/bin/env bash
# The README's picture of Neovim with `glimmark lsp`: an example scene with a
# misspelt word, its diagnostic at the line's end and in a float, in xterm on
# a virtual X server.
#   editors/neovim_screenshot.sh <glimmark> <out.png>
# Needs Xvfb, xterm, nvim, xdotool and ImageMagick's import.
set -euo pipefail
glimmark=$(realpath "$1")
out=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

sed 's/^  SPHERE END_SPHERE .*/  SPHER END_SPHERE/' "$root/examples/first_sphere.gmk" > "$work/first_sphere.gmk"
cat > "$work/init.lua" <<LUA
vim.opt.number = true
vim.opt.signcolumn = 'yes'
vim.opt.termguicolors = true
vim.opt.background = 'light'
vim.cmd('syntax on')
vim.api.nvim_create_autocmd('BufReadPost', { pattern = '*.gmk', callback = function(args)
  local id = vim.lsp.start_client({ name = 'glimmark', cmd = { '$glimmark', 'lsp' },
    root_dir = vim.fn.fnamemodify(args.file, ':p:h') })
  vim.lsp.buf_attach_client(args.buf, id)
end })
-- When the diagnostic has come: the cursor on its word, and its float.
vim.defer_fn(function()
  local found = vim.diagnostic.get(0)
  if found[1] then
    vim.api.nvim_win_set_cursor(0, { found[1].lnum + 1, found[1].col })
    vim.defer_fn(function() vim.diagnostic.open_float({ border = 'rounded' }) end, 300)
  end
end, 1500)
LUA

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache
export DISPLAY=:97
Xvfb $DISPLAY -screen 0 1100x560x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
sleep 1
(cd "$work" && xterm -geometry 112x26+0+0 -fa 'DejaVu Sans Mono' -fs 11 -bg '#fdfdf8' -fg '#202020' \
  -e nvim -u "$work/init.lua" -i NONE -n first_sphere.gmk 2> /dev/null) &
sleep 4
window=$(xdotool search --sync --class xterm | head -1)
import -window "$window" "$out"
kill %1 2>/dev/null || true
echo "wrote $out"
