#!/usr/bin/env bash
# After the host tests (run with QUVARA_EVENT_CODES=build/host/event-codes.txt): line
# coverage of the product code, and whether every event code the product can log was
# written by some test. Fails under 95% of lines or on a code no test reaches.
set -euo pipefail
cd "$(dirname "$0")/.."
gcovr --root . --filter 'app/' --filter 'config/' --filter 'print/' --filter 'ui/' \
  --fail-under-line 95 build/host
in_product=$(grep -ohE '"QV([0-9]{3}|xxx)"' app/*.cpp config/*.cpp print/*.cpp ui/*.cpp | tr -d '"' | sort -u)
reached=$(sort -u build/host/event-codes.txt 2>/dev/null || true)
missing=$(comm -23 <(echo "$in_product") <(echo "$reached"))
echo "event codes: $(echo "$in_product" | wc -l) in the product, $(comm -12 <(echo "$in_product") <(echo "$reached") | wc -l) reached by the host tests"
if [ -n "$missing" ]; then
  echo "never logged by any test: $(echo $missing)"
  exit 1
fi
