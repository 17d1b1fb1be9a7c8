#!/usr/bin/env bash
# The layer check passes on the tree and fails on each kind of wrong include.
set -euo pipefail
check=${1:?check-layers.sh}
root=${2:?source folder}
"$check" "$root"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp"/language "$tmp"/record "$tmp"/scene "$tmp"/cli "$tmp"/run "$tmp"/web/bridge \
  "$tmp"/include/glimmark
mkdir -p "$tmp"/app "$tmp"/lsp "$tmp"/python
printf '#include "scene/scene.h"\n#include <vector>\n' >"$tmp"/language/fine.cpp
printf '#include "glimmark/run.h"\n' >"$tmp"/web/bridge/fine.cpp
printf '#include "glimmark/engine.h"\n' >"$tmp"/run/fine.cpp
printf '#include "cli/arguments.h"\n#include "glimmark/run.h"\n' >"$tmp"/cli/fine.cpp
printf '#include <vector>\n#include "glimmark/engine.h"\n' >"$tmp"/include/glimmark/fine.h
printf '#include "lsp/server.h"\n#include "glimmark/engine.h"\n' >"$tmp"/lsp/fine.cpp
printf '#include "lsp/server.h"\n' >"$tmp"/cli/server.cpp
printf '#include "glimmark/engine.h"\n#include "glimmark/exr_file.h"\n' >"$tmp"/python/fine.cpp
"$check" "$tmp"
expect_failure() {  # FILE TEXT: the check fails and names the file
  printf '%s\n' "$2" >"$tmp/$1"
  if out=$("$check" "$tmp" 2>&1); then
    echo "not caught: $1: $2" >&2
    exit 1
  fi
  grep -q "^$1:1:" <<<"$out" || { echo "wrong report for $1: $out" >&2; exit 1; }
  rm "$tmp/$1"
  caught=$((caught + 1))
}
caught=0
expect_failure language/wrong.cpp '#include "render/shading.h"'
expect_failure record/wrong.h '#include "render/pixel_loop.h"'
expect_failure scene/wrong.cpp '  #  include "language/tokenizer.h"'
expect_failure app/engine.cpp '#include "run/trace_controller.h"'
expect_failure cli/wrong.cpp '#include "app/main_window.h"'
expect_failure cli/internal.h '#include "run/trace_controller.h"'
expect_failure cli/engine.cpp '#include "language/text_buffer.h"'
expect_failure scene/relative.cpp '#include "../run/trace_controller.h"'
expect_failure run/wrong.cpp '#include "web/bridge/playground.h"'
expect_failure lsp/wrong.cpp '#include "language/tokenizer.h"'
expect_failure lsp/inner.h '#include "run/engine_parse.h"'
expect_failure lsp/above.cpp '#include "cli/cli.h"'
expect_failure python/inner.cpp '#include "run/engine_parse.h"'
expect_failure python/render.cpp '#include "render/surface_passes.h"'
expect_failure web/bridge/wrong.cpp '#include "cli/cli.h"'
expect_failure web/bridge/inner.cpp '#include "run/trace_controller.h"'
expect_failure record/public.cpp '#include "glimmark/engine.h"'
expect_failure include/glimmark/wrong.h '#include "run/trace_controller.h"'
expect_failure include/glimmark/outside.h '#include <QString>'
echo "layer check: the tree passes, $caught wrong includes caught"
