#!/usr/bin/env bash
# Builds everything and shows the product at work. Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

# Until the installer exists: extract a sample archive with lzhx.
demo=$(mktemp -d)
printf 'Quorvalinex sample\n' > "$demo/ReadMe.txt"
seq 1 5000 > "$demo/numbers.txt"
(cd "$demo" && jlha ao52q sample.lzh ReadMe.txt numbers.txt >/dev/null)
build/native/tools/lzhx/lzhx l "$demo/sample.lzh"
build/native/tools/lzhx/lzhx x "$demo/sample.lzh" "$demo/out"
ls -l "$demo/out"
