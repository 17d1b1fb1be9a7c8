#!/usr/bin/env bash
# Builds the Debian packages as `make package` does, into a fresh folder, and
# checks what a packager and apt see: the command's package needs none of
# FFmpeg's libraries (the video module's package brings them and is
# recommended), every file is in the package that should hold it, and
# lintian reports no warning or error.
# Usage: package_test.sh BUILD VERSION STUDIO(0|1)
# Ends with 77 (skipped) where dpkg-deb or cpack's DEB generator cannot run.
set -euo pipefail
build=$1
version=$2
studio=$3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped" >&2; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  exit 1
}

status=0
fail() {
  echo "$*" >&2
  status=1
}
deb() { echo "$out/$1_${version}_$(dpkg --print-architecture).deb"; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
holds() { dpkg-deb -c "$(deb "$1")" | awk '{print $1, $6}'; }

packages=(glimmark)
[ -f "$build/lib/glimmark-ffmpeg.so" ] && packages+=(glimmark-video)
[ "$studio" = 1 ] && packages+=(glimmark-studio)
ls "$build"/glimmark.cpython-*.so >/dev/null 2>&1 && packages+=(python3-glimmark)
for p in "${packages[@]}"; do
  [ -f "$(deb "$p")" ] || fail "no package $p: $(ls "$out")"
done
[ $status = 0 ] || exit 1

# The command alone: no FFmpeg library in its dependencies or theirs.
depends=$(field glimmark Depends)
closure=$(echo "$depends" | sed 's/([^)]*)//g; s/|/,/g; s/,/\n/g' | xargs apt-cache depends \
  --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
  --no-enhances 2>/dev/null | grep -v '^ ' | sort -u)
echo "glimmark depends on $(echo "$closure" | wc -l) packages: $depends"
if echo "$closure" | grep -E '^(lib(avcodec|avdevice|avfilter|avformat|avutil|swresample|swscale|postproc)[0-9]|ffmpeg)'; then
  fail "glimmark needs FFmpeg's libraries"
fi
holds glimmark | grep -q 'glimmark-ffmpeg.so' && fail "glimmark holds the video module"
# The farm recipes, as commands an admin runs or copies.
for f in parallel-frames.sh parallel-rows.sh slurm-frames.sbatch; do
  holds glimmark | grep -qx -- "-rwxr-xr-x ./usr/share/glimmark/farm/$f" ||
    fail "glimmark does not hold usr/share/glimmark/farm/$f as a program"
done

if [[ " ${packages[*]} " == *" glimmark-video "* ]]; then
  [ "$(field glimmark Recommends)" = "glimmark-video (= $version)" ] ||
    fail "glimmark recommends '$(field glimmark Recommends)'"
  field glimmark-video Depends | grep -q "glimmark (= $version)" ||
    fail "glimmark-video does not depend on glimmark"
  field glimmark-video Depends | grep -q libavformat ||
    fail "glimmark-video does not depend on libavformat"
  holds glimmark-video | grep -q "usr/lib/.*/glimmark/glimmark-ffmpeg.so$" ||
    fail "glimmark-video does not hold the module"
fi

# Without the module, the installed command records AVI and names the
# package that brings the other formats.
root=$out/root
dpkg-deb -x "$(deb glimmark)" "$root"
scene=$root/usr/share/doc/glimmark/examples/bounce.gmk
if [ -f "$scene" ]; then
  (cd "$out" && "$root/usr/bin/glimmark" record "$scene" -o b.avi -q --frames 0-1 >/dev/null) ||
    fail "the command alone does not record AVI"
  said=$(cd "$out" && "$root/usr/bin/glimmark" record "$scene" -o b.mp4 -q 2>&1) &&
    fail "the command alone recorded MP4"
  [[ $said == *"install glimmark-video for MP4"* ]] || fail "without glimmark-video: $said"
fi

# The Python module on its own: it imports from the unpacked package and
# traces an example of the command's package.
if [[ " ${packages[*]} " == *" python3-glimmark "* ]]; then
  field python3-glimmark Depends | grep -q python3-numpy ||
    fail "python3-glimmark does not depend on python3-numpy"
  python_root=$out/python-root
  dpkg-deb -x "$(deb python3-glimmark)" "$python_root"
  shape=$(PYTHONPATH="$python_root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
    "import glimmark; print(glimmark.render(open('$scene').read(), width=16, height=8).rgb.shape)") ||
    fail "the installed module does not trace"
  [ "$shape" = "(8, 16, 3)" ] || fail "the installed module traced $shape"
fi

if command -v lintian >/dev/null; then
  debs=()
  for p in "${packages[@]}"; do debs+=("$(deb "$p")"); done
  report=$(lintian --fail-on none "${debs[@]}" 2>&1)
  echo "lintian: ${report:-no tags}"
  if echo "$report" | grep -qE '^(E|W):'; then
    fail "lintian reports errors or warnings"
  fi
else
  echo "lintian is not installed: skipped" >&2
  [ $status = 0 ] && exit 77
fi
exit $status
