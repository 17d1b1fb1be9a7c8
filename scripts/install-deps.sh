#!/usr/bin/env bash
# Installs the Debian packages Glimmark builds and tests with.
# As root: apt-get update, then install only what is missing.
# Otherwise: print the apt-get line and stop.
# --cli-only: only what the command needs to build and install (no Qt, no
# GoogleTest, no X server); configure with -DGLIMMARK_STUDIO=OFF
# -DGLIMMARK_TESTS=OFF, or `make CLI_ONLY=1 install`.
# --web: also what `make web` and its tests need: Emscripten, fast_float,
# Chromium, Node.js with npm, and emcc's `acorn` module from npm in .web-tools/
# (the Makefile's web targets set NODE_PATH=.web-tools/node_modules for emcc).
# It also puts the playground page's npm packages in web/node_modules (npm ci).
# Without --cli-only it installs what the editor tests and `make vscode` need:
# Neovim, Emacs with eglot, Node.js with npm, and the VS Code extension's npm
# packages in editors/vscode/node_modules (npm ci).
# --bench: also what only the benchmarks use: Intel Embree for the triangle
# tracer twin (bench/embree), POV-Ray for the comparison rows.
set -euo pipefail

cli_only=0
web=0
bench=0
for arg in "$@"; do
  case $arg in
    --cli-only) cli_only=1 ;;
    --web) web=1 ;;
    --bench) bench=1 ;;
    *) echo "usage: $0 [--cli-only] [--web] [--bench]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libpng-dev libstb-dev
  # JSON for the language server (`glimmark lsp`).
  nlohmann-json3-dev
  # Model files for MESH FILE (OBJ, PLY, STL, glTF).
  libassimp-dev
  # MP4, WebM, Matroska and GIF recordings; ffprobe and ffmpeg check them.
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev ffmpeg
  # OpenEXR pictures with the passes (render --pass).
  libopenexr-dev
)
if [ $cli_only = 0 ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-svg-dev
    fonts-dejavu-core  # a fixed-width face for the studio editor (and its tests)
    # A desktop's usual fixed-width face, whose font flags do not say
    # "fixed pitch": the editor tests must hold with it too.
    fonts-noto-mono
    # The model files the tests load or refuse, one by one.
    assimp-testmodels
    # The studio's smoke test: an X server, a window manager, keys and a
    # screenshot.
    xvfb xauth openbox xdotool
    # The install and package checks: desktop entry, MIME type, man pages,
    # completion, and lintian on the .deb files.
    desktop-file-utils shared-mime-info man-db bash-completion lintian
    # The render farm recipes' tests: GNU parallel, and a one-node Slurm
    # (the test starts its own daemons, as root; elsewhere it skips).
    parallel slurm-wlm munge
    # Editors that test the language server as their users run it.
    neovim emacs-nox elpa-eglot
    # The terminal the README's screenshot of Neovim is taken in.
    xterm
    # The Python module, its tests and the example notebook; exrheader and
    # ImageMagick open the OpenEXR files.
    python3-dev python3-pybind11 python3-numpy python3-pytest
    jupyter-nbconvert python3-ipykernel openexr imagemagick libmagickcore-6.q16-6-extra
  )
  # The VS Code extension's packaging and the grammar's test run on Node.js.
  command -v npm > /dev/null || packages+=(nodejs npm)
fi
if [ $web = 1 ]; then
  packages+=(emscripten libfast-float-dev chromium)
  # Any Node.js with npm will do (emcc runs on it); Debian's when there is none.
  command -v npm > /dev/null || packages+=(nodejs npm)
fi
if [ $bench = 1 ]; then
  packages+=(libembree-dev povray heaptrack)
fi
if [ "${GLIMMARK_EXTRA_DEPS:-}" = 1 ]; then
  packages+=(povray clang-format
    # make fuzz: clang with libFuzzer and the sanitizers' runtimes, and
    # llvm-symbolizer for the stacks of what a fuzz target finds.
    clang libclang-rt-14-dev llvm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ $web = 1 ]; then
  tools="$(cd "$(dirname "$0")/.." && pwd)/.web-tools"
  if [ ! -f "$tools/node_modules/acorn/package.json" ]; then
    mkdir -p "$tools"
    npm install --prefix "$tools" --no-save --no-package-lock --no-audit --no-fund acorn
  fi
  # The playground page's packages (CodeMirror, esbuild, puppeteer-core), as
  # web/package-lock.json pins them.
  page="$(dirname "$tools")/web"
  if [ ! "$page/node_modules/.package-lock.json" -nt "$page/package-lock.json" ]; then
    (cd "$page" && npm ci --no-audit --no-fund)
  fi
fi

if [ $cli_only = 0 ]; then
  # The VS Code extension's client library, vsce that packages it, and the
  # TextMate engine its grammar's test runs on, as
  # editors/vscode/package-lock.json pins them. No install scripts: the only
  # one, vsce's signing tool's, is for publishing, not packaging.
  extension="$(cd "$(dirname "$0")/.." && pwd)/editors/vscode"
  if [ ! "$extension/node_modules/.package-lock.json" -nt "$extension/package-lock.json" ]; then
    (cd "$extension" && npm ci --no-audit --no-fund --ignore-scripts)
  fi
fi
