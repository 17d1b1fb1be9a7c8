#!/usr/bin/env bash
# Executes the example notebook as `jupyter nbconvert --execute` does and
# checks that it ran to its end and that its picture cells show PNG images.
# Usage: notebook_test.sh PYTHON NOTEBOOK (PYTHONPATH finds the module)
# Ends with 77 (skipped) where jupyter-nbconvert or python3-ipykernel is
# missing.
set -euo pipefail
python=$1
notebook=$2
command -v jupyter-nbconvert >/dev/null ||
  { echo "jupyter-nbconvert is not installed: skipped" >&2; exit 77; }
"$python" -c 'import ipykernel' 2>/dev/null ||
  { echo "python3-ipykernel is not installed: skipped" >&2; exit 77; }
# The debugger ipykernel loads warns of frozen modules on every start.
export PYDEVD_DISABLE_FILE_VALIDATION=1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
jupyter-nbconvert --to notebook --execute --ExecutePreprocessor.timeout=120 \
  --output-dir "$out" --output run "$notebook"
"$python" - "$out/run.ipynb" <<'CHECK'
import json, sys
cells = [c for c in json.load(open(sys.argv[1]))["cells"] if c["cell_type"] == "code"]
pngs = [i for i, c in enumerate(cells)
        if any("image/png" in o.get("data", {}) for o in c["outputs"])]
errors = [o for c in cells for o in c["outputs"] if o["output_type"] == "error"]
print(f"{len(cells)} code cells, PNG output in cells {pngs}")
sys.exit(1 if errors or pngs != [1, 2, 3] else 0)
CHECK
