#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz", clang's libFuzzer with ASan and UBSan) and runs
# each for SECONDS (default 5), starting from its committed seeds. A crash, a sanitizer
# report or a broken check stops with the input saved under build/fuzz/findings.
#
#   tests/fuzz/run.sh [SECONDS]     the test command runs it briefly; 600 is a long run
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-5}
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
mkdir -p build/fuzz/findings
status=0
for target in argument_text saved_printer printer_lists program_path; do
  corpus=$root/build/fuzz/corpus/$target
  mkdir -p "$corpus"
  if build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$root/build/fuzz/findings/$target-" "$corpus" "$root/tests/fuzz/seeds/$target" \
    >"build/fuzz/$target.log" 2>&1; then
    result=ok
  else
    result="FAILED (build/fuzz/$target.log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log")
  printf '%-14s %10s executions in %ss, corpus %s inputs: %s\n' "$target" "${runs:-?}" "$seconds" \
    "$(find "$corpus" -type f | wc -l)" "$result"
done
exit $status
