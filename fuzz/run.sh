#!/usr/bin/env bash
# Runs each fuzz target for SECONDS on a working corpus that starts from the
# committed seeds and the examples; findings go to BUILD/crashes/<target>.
# Usage: fuzz/run.sh BUILD [SECONDS] [TARGET...]
set -euo pipefail
build=${1:?build folder}
seconds=${2:-60}
shift $(( $# > 1 ? 2 : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
targets=("$@")
[ ${#targets[@]} -eq 0 ] &&
  targets=(fuzz_build_trace fuzz_check fuzz_texture_png fuzz_texture_jpeg fuzz_texture_bitmap
           fuzz_band_record fuzz_model_file_obj fuzz_model_file_ply fuzz_model_file_stl
           fuzz_model_file_gltf fuzz_model_file_glb fuzz_lsp_messages)

status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  crashes=$build/crashes/$t
  mkdir -p "$corpus" "$crashes"
  # Each texture decoder starts from the seeds of its own kind.
  case $t in
    fuzz_texture_png) cp -n "$here"/seeds/textures/*.png "$root"/examples/*.png "$corpus"/ ;;
    fuzz_texture_jpeg) cp -n "$here"/seeds/textures/*.jpg "$corpus"/ ;;
    fuzz_texture_bitmap) cp -n "$here"/seeds/textures/*.bmp "$here"/seeds/textures/*.tga "$corpus"/ ;;
    fuzz_band_record) cp -n "$here"/seeds/bands/* "$corpus"/ ;;
    # Each model format from the seeds of its own (.stl: ASCII and binary).
    fuzz_model_file_*) cp -n "$here"/seeds/models/*."${t#fuzz_model_file_}" "$corpus"/ ;;
    fuzz_lsp_messages) cp -n "$here"/seeds/messages/* "$corpus"/ ;;
    *) cp -n "$here"/seeds/documents/* "$root"/examples/*.gmk "$corpus"/ ;;
  esac
  echo "== $t for ${seconds}s"
  # A document may loop for ever or ask for gigabytes: both are findings.
  # Leaks of system libraries (scripts/lsan.supp) are not.
  if ! LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp "$build/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" \
      2>"$build/$t.log"; then
    status=1
    echo "$t found a fault; see $build/$t.log and $crashes" >&2
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$t.log" || true
done
exit $status
