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
  # run/ implements the public headers of include/glimmark; the front ends
  # above it may use them.
  [run]="core shapes scene language render record run include/glimmark"
  # The front ends reach the engine through the public headers alone.
  [cli]="include/glimmark lsp cli"
  # The language server, which `glimmark lsp` starts.
  [lsp]="include/glimmark lsp"
  [app]="include/glimmark app"
  # The other editors' files made at build time (the TextMate grammar).
  [editors]="include/glimmark editors"
  [web/bridge]="include/glimmark web/bridge"
  # The Python module.
  [python]="include/glimmark python"
  [include/glimmark]="include/glimmark"
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
    [[ $target == glimmark/* ]] && folder=include/glimmark
    # The canvas is a plain picture every layer may draw into or read: the
    # render threads write the very words a front end shows.
    [[ $target == glimmark/canvas.h ]] && continue
    if [[ $target == ../* ]]; then
      echo "${file#"$root"/}:$line: includes \"$target\" by a relative path; name it by its layer" >&2
      status=1
    elif [[ $target == */* && $layers == *" $folder "* && " ${uses[$layer]} " != *" $folder "* ]]; then
      echo "${file#"$root"/}:$line: $layer/ includes \"$target\" from $folder/, a layer above it or beside it" >&2
      status=1
    fi
  done < <(grep -rn --include='*.cpp' --include='*.h' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$layer" || true)
done

# A public header includes the standard library's headers and the other
# public headers, nothing of the engine's own.
if [ -d "$root/include" ]; then
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\(.*\)$/\1/p' <<<"${rest#*:}")
    if ! [[ $target =~ ^\<[a-z_]+\>$ || $target =~ ^\"glimmark/[^\"]+\"$ ]]; then
      echo "${file#"$root"/}:$line: a public header includes $target; only standard headers and glimmark/ ones" >&2
      status=1
    fi
  done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include' "$root/include" || true)
fi
exit $status
