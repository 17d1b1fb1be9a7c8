#!/usr/bin/env bash
# Installs the Debian packages Glimmark builds and tests with.
# As root: apt-get update, then install only what is missing.
# Otherwise: print the apt-get line and stop.
# --cli-only: only what the command needs to build and install (no Qt, no
# GoogleTest, no X server); configure with -DGLIMMARK_STUDIO=OFF
# -DGLIMMARK_TESTS=OFF, or `make CLI_ONLY=1 install`.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libpng-dev libstb-dev
  # MP4, WebM, Matroska and GIF recordings; ffprobe and ffmpeg check them.
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev ffmpeg
)
if [ "${1:-}" != --cli-only ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-svg-dev
    fonts-dejavu-core  # a fixed-width face for the studio editor (and its tests)
    # The studio's smoke test: an X server, a window manager, keys and a
    # screenshot.
    xvfb xauth openbox xdotool
    # The install and package checks: desktop entry, MIME type, man pages,
    # completion, and lintian on the .deb files.
    desktop-file-utils shared-mime-info man-db bash-completion lintian
    # The render farm recipes' test.
    parallel
  )
fi
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
