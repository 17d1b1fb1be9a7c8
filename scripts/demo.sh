#!/usr/bin/env bash
# The demo of `make demo`, which has built everything first: checks the
# showcase scene, renders it and records the bouncing-ball animation into
# the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
glimmark="$build/glimmark"
if [ ! -x "$glimmark" ]; then
  echo "demo: $glimmark is not built; run 'make demo'" >&2
  exit 1
fi

"$glimmark" check examples/showcase.gmk
"$glimmark" render examples/showcase.gmk -o "$build/showcase.png" >/dev/null
echo "Rendered $build/showcase.png"
"$glimmark" record examples/bounce.gmk -o "$build/bounce.avi" -q >/dev/null
echo "Recorded $build/bounce.avi"
