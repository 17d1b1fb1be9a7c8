#!/usr/bin/env bash
# Traces every example with the WebAssembly build under node (through the
# page's bridge, row by row, and a few of them in three bands of rows, as the
# page's workers trace them) and with the command, and compares the pictures
# byte for byte; runs the page's worker with a stand-in page; then times the showcase at 640x480 on one thread both ways
# and gives the compressed size of the module the page loads.
#   web/test/node-test.sh WEB_BUILD BUILD
# Fails when a picture is missing or differs. NODE_TEST_TIMING=0 skips the timing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
web_build=$(cd "${1:?build-web folder}" && pwd)
build=$(cd "${2:?desktop build folder}" && pwd)
driver="$web_build/gmk_bridge_render.js"
glimmark="$build/glimmark"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/cli" "$tmp/web"

status=0
for scene in "$root"/examples/*.gmk; do
  name=$(basename "$scene" .gmk)
  # An example that reads a model file (FILE in a MESH): the WebAssembly
  # build reads none and must refuse it, saying so.
  if grep -qiE '^[[:space:]]*FILE[[:space:]]+"[^"]*[.](obj|ply|stl|gltf|glb)"' "$scene"; then
    if node "$driver" "$scene" "$tmp/$name.ppm" 2> "$tmp/$name.log"; then
      echo "$name: traced by the WebAssembly build, which reads no model files" >&2
      status=1
    elif ! grep -q "only the desktop programs read model files" "$tmp/$name.log"; then
      cat "$tmp/$name.log" >&2
      status=1
    fi
    continue
  fi
  "$glimmark" render "$scene" -o "$tmp/cli/$name.ppm" -q -j 1 -f > /dev/null
  node "$driver" "$scene" "$tmp/web/$name.ppm" 2> "$tmp/web/$name.log" ||
    { cat "$tmp/web/$name.log" >&2; status=1; }
done
for picture in "$tmp"/cli/*.ppm; do
  name=$(basename "$picture")
  if [ ! -f "$tmp/web/$name" ]; then
    echo "$name: no picture from the WebAssembly build" >&2
    status=1
  elif ! cmp -s "$picture" "$tmp/web/$name"; then
    node "$driver" --compare "$picture" "$tmp/web/$name" | sed "s#$tmp/web/##" || true
    status=1
  fi
done
# The page's workers trace a picture in bands or chunks of rows: three bands,
# joined, are the command's picture too (antialiasing carries its chain from
# row to row, so a band must take it up where the whole picture has it).
for name in textures csg mirrors_and_glass; do
  [ -f "$tmp/cli/$name.ppm" ] || continue
  node "$driver" "$root/examples/$name.gmk" "$tmp/$name-bands.ppm" --bands 3 2> /dev/null &&
    node "$driver" --compare "$tmp/cli/$name.ppm" "$tmp/$name-bands.ppm" | sed "s#$tmp/##" ||
    { echo "$name: three bands differ from the command's picture" >&2; status=1; }
  # And as chunks of rows handed out on demand, here from the bottom up.
  node "$driver" "$root/examples/$name.gmk" "$tmp/$name-chunks.ppm" --chunks 7 2> /dev/null &&
    node "$driver" --compare "$tmp/cli/$name.ppm" "$tmp/$name-chunks.ppm" | sed "s#$tmp/##" ||
    { echo "$name: chunks of rows differ from the command's picture" >&2; status=1; }
done
echo "$(ls "$tmp"/cli/*.ppm | wc -l) pictures of $(ls "$root"/examples/*.gmk | wc -l) examples compared" \
  "(those that read model files refused):" \
  "$([ $status = 0 ] && echo 'all identical' || echo 'DIFFERENCES above')"

# The worker itself, speaking its protocol with a stand-in page.
node "$root/web/test/worker-node-test.cjs" "$web_build/site" "$root/examples" "$tmp/cli" || status=1

if [ "${NODE_TEST_TIMING:-1}" != 0 ]; then
  cd "$root/examples"
  ms() { echo $(($(date +%s%N) / 1000000)); }
  start=$(ms)
  "$glimmark" render showcase.gmk -o "$tmp/showcase-cli.ppm" -q -j 1 -f -W 640 -H 480 > /dev/null
  cli=$(($(ms) - start))
  start=$(ms)
  node "$driver" showcase.gmk "$tmp/showcase-web.ppm" -W 640 -H 480 2> /dev/null
  wasm=$(($(ms) - start))
  ratio=$((wasm * 100 / (cli > 0 ? cli : 1)))
  printf 'showcase 640x480, one thread: command %d ms, WebAssembly under node %d ms (%d.%02dx)\n' \
    "$cli" "$wasm" $((ratio / 100)) $((ratio % 100))
  cmp -s "$tmp/showcase-cli.ppm" "$tmp/showcase-web.ppm" || { echo "showcase 640x480 differs" >&2; status=1; }
fi
site="$web_build/site"
printf 'module gzip -9: glimmark_web.wasm %d bytes, glimmark_web.js %d bytes\n' \
  "$(gzip -9c "$site/glimmark_web.wasm" | wc -c)" "$(gzip -9c "$site/glimmark_web.js" | wc -c)"
exit $status
