#!/usr/bin/env bash
# Fails when a file includes a header from a layer above its own, or reaches
# outside its folder with a relative path. Usage: check-layers.sh [ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# Each layer and the layers it may include from (itself included).
declare -A uses=(
  [core]="core"
  [shapes]="core shapes"
  [scene]="core shapes scene"
  [language]="core shapes scene language"
  [render]="core shapes scene render"
  [record]="core shapes scene record"
  [run]="core shapes scene language render record run"
  [cli]="core shapes scene language render record run cli"
  [app]="core shapes scene language render record run app"
  # The browser playground's bridge, over the same layers as the command.
  [web/bridge]="core shapes scene language render record run web/bridge"
)
layers=" ${!uses[*]} "

status=0
for layer in "${!uses[@]}"; do
  [ -d "$root/$layer" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"${rest#*:}")
    [ -n "$target" ] || continue
    folder=${target%%/*}
    [[ $target == web/bridge/* ]] && folder=web/bridge
    if [[ $target == ../* ]]; then
      echo "${file#"$root"/}:$line: includes \"$target\" by a relative path; name it by its layer" >&2
      status=1
    elif [[ $target == */* && $layers == *" $folder "* && " ${uses[$layer]} " != *" $folder "* ]]; then
      echo "${file#"$root"/}:$line: $layer/ includes \"$target\" from $folder/, a layer above it or beside it" >&2
      status=1
    fi
  done < <(grep -rn --include='*.cpp' --include='*.h' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$layer" || true)
done
exit $status
