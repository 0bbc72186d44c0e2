#!/usr/bin/env bash
# Every Windows program that the tests and the main job start has a time limit, so that a
# hang fails a check instead of stalling the run: each line that starts one goes through
# win or winreg (tests/e2e/dialog.sh) or timeout. Prints the lines that do not.
cd "$(dirname "$0")/.."
starts='(^|[;&|(!]|\$\(|(then|do|else|setsid|env -u DISPLAY)[[:space:]])[[:space:]]*'
programs='(wine|wine64|wineboot|winepath|wineserver|"\$wine(64)?_program")([[:space:]]|$)'
unlimited=$(grep -nE "$starts$programs" tests/e2e/*.sh scripts/main-job.sh scripts/screenshot-dialog.sh |
  grep -vE '^[^:]+:[0-9]+:[[:space:]]*#' | grep -vE 'timeout [^;&|]*(wine|"\$wine)|setsid wineserver -f -p')
if [ -n "$unlimited" ]; then
  echo "Windows programs started without a time limit:"
  echo "$unlimited"
  exit 1
fi
echo "every Windows program the tests start has a time limit"
