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

echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
# The Wine end-to-end tests run the Windows build, already tested above.
ctest --preset asan -j "$jobs" -LE e2e

echo "== fuzz targets, a bounded run each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bash tests/fuzz/run_fuzz.sh 35 build/fuzz
