#!/usr/bin/env bash
# Installs the Debian packages Glimmark builds and tests with.
# As root: apt-get update, then install only what is missing.
# Otherwise: print the apt-get line and stop.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libstb-dev
  qt6-base-dev qt6-svg-dev
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev ffmpeg
  xvfb xauth
)
if [ "${GLIMMARK_EXTRA_DEPS:-}" = 1 ]; then
  packages+=(povray clang-format clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
