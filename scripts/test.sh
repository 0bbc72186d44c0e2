#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test:
# the executable's own checks, the host unit tests and the end-to-end run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() { echo; echo "== $1 ($(date +%T))"; }

phase "packages"
bash scripts/install-deps.sh

phase "Quvara.exe (windows preset)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
bash tests/check-exe.sh build/windows/Quvara.exe

phase "host unit tests (host preset, ASan/UBSan)"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host -j2

phase "end-to-end under Wine"
# Stops the services it started, so nothing outlives the run.
E2E_STOP=1 bash tests/e2e/run.sh
