#!/usr/bin/env bash
# The showcase at 640x480 on one thread: traced by the command, and by the
# WebAssembly build in the playground's worker in headless Chromium, served
# from 127.0.0.1.   bench/web-showcase.sh [BUILD] [WEB_BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
site=$(cd "${2:-$root/build-web}/site" && pwd)
tmp=$(mktemp -d)
server=""
browser=""
trap '[ -n "$browser" ] && kill "$browser" && wait "$browser"; [ -n "$server" ] && kill "$server"; rm -rf "$tmp"' EXIT
cp "$site"/glimmark_web.js "$site"/glimmark_web.wasm "$site"/worker.js "$root/examples/showcase.gmk" \
  "$root/examples/tiles.png" "$root/bench/web/showcase.html" "$tmp/"

start=$(date +%s%N)
"$build/glimmark" render "$root/examples/showcase.gmk" -o "$tmp/cli.ppm" -q -j 1 -f -W 640 -H 480 > /dev/null
echo "command, one thread: $((($(date +%s%N) - start) / 1000000)) ms"

port=$((20000 + RANDOM % 20000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$tmp" > /dev/null 2>&1 &
server=$!
sleep 1
# The page prints one console line when the run is over.
chromium --headless=new --no-sandbox --disable-gpu --enable-logging=stderr --v=0 \
  --user-data-dir="$tmp/profile" "http://127.0.0.1:$port/showcase.html" > "$tmp/chromium.log" 2>&1 &
browser=$!
for _ in $(seq 240); do
  if grep -q 'glimmark-bench' "$tmp/chromium.log"; then
    grep -m 1 -o 'glimmark-bench.*' "$tmp/chromium.log" | sed 's/", source.*//'
    exit 0
  fi
  sleep 0.5
done
echo "no result from Chromium in 120 s" >&2
exit 1
