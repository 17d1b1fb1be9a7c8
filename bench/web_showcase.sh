#!/bin/sh
# The showcase at 640x480 traced in the browser playground (headless
# chromium, one worker) against the command line on one thread.
#   bench/web_showcase.sh [BUILD] [SITE]   (after make web web-site)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
site=${2:-$root/build-web/site}
uptime
node "$root/web/tools/trace-time.mjs" "$site" "$build/glimmark" "$root/examples/showcase.gmk" 640 480 "${RUNS:-3}"
