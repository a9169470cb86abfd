#!/usr/bin/env bash
# Builds everything and runs the whole test suite. Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

echo "== native build"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"

echo "== Windows cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

echo "== native tests"
ctest --preset native -j "$jobs"
