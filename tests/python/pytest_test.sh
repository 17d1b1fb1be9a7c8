#!/usr/bin/env bash
# Runs the module's pytest tests. Usage: pytest_test.sh PYTHON TEST_FOLDER
# Ends with 77 (skipped) where python3-pytest or python3-numpy is missing.
set -euo pipefail
python=$1
"$python" -c 'import pytest, numpy' 2>/dev/null ||
  { echo "python3-pytest or python3-numpy is not installed: skipped" >&2; exit 77; }
exec "$python" -m pytest -q -p no:cacheprovider "$2"
