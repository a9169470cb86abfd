#!/usr/bin/env bash
# Builds everything and shows the installer at work under Wine. Installs what
# is missing.
#   DISPLAY set:  QuorvalinexSetup.exe runs on that display, in a fresh Wine
#                 prefix; what it installed is listed when it ends.
#   no DISPLAY:   a scripted walk through the read-me and install branches on
#                 a virtual display, a PNG of every dialog and message box in
#                 build/demo-screenshots, then what was installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

export QUORVALINEX_WINDOWS_BUILD_DIR=$root/build/windows
export LZHX=$root/build/native/tools/lzhx/lzhx
export E2E_WORK=$root/build/demo-wine
if [ -n "${DISPLAY:-}" ]; then
    exec python3 tests/e2e/demo.py --interactive
fi
# An installer with a large payload too, so that dialog 102 stays long
# enough to be seen.
export E2E_BIG_BUILD_DIR=$root/build/big-installer
python3 tests/e2e/big_installer.py "$E2E_BIG_BUILD_DIR" >/dev/null
rm -rf build/demo-screenshots
python3 tests/e2e/demo.py build/demo-screenshots
