#!/usr/bin/env bash
# Installs what is missing, builds the presets and runs every test: the executable's own
# checks, the host unit tests with coverage, clang-tidy, the fuzz targets briefly, the
# end-to-end run under Wine, and the release built twice (byte for byte the same), its
# documents checked against it, and installed under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() { echo; echo "== $1 ($(date +%T))"; }

phase "packages"
bash scripts/install-deps.sh

phase "Quvara.exe (windows preset)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
bash tests/check-exe.sh build/windows/Quvara.exe

phase "host unit tests (host preset, ASan/UBSan, coverage)"
cmake --preset host >/dev/null
# Counts of an earlier build would not match this one's.
find build/host -name '*.gcda' -delete
cmake --build --preset host -j2
find build/host -name '*.gcda' -delete
rm -f build/host/event-codes.txt
QUVARA_EVENT_CODES=$PWD/build/host/event-codes.txt ctest --preset host -j2
bash tests/coverage.sh

phase "static analysis of the product code (clang-tidy, .clang-tidy)"
clang-tidy -p build/host --quiet app/*.cpp config/*.cpp print/*.cpp ui/*.cpp

phase "fuzzing, a few seconds per target (tests/fuzz/run.sh)"
bash tests/fuzz/run.sh 5

phase "end-to-end under Wine"
bash tests/check-time-limits.sh
# Nothing of the services outlives the run, whatever its outcome.
trap 'bash tests/e2e/env.sh stop' EXIT
bash tests/e2e/run.sh

phase "the release: installer, MSI, zip and checksums (scripts/release.sh), installed under Wine"
bash scripts/release.sh
bash tests/check-docs.sh
# Built again from a clone at another path, later: the same bytes, or the test fails.
bash scripts/compare-rebuild.sh
bash tests/e2e/release.sh
