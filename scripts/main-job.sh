#!/usr/bin/env bash
# The whole job on a fresh Debian 12 machine, in one command:
# installs what is needed, sets up Wine, CUPS and a capture printer (tests/e2e/env.sh),
# builds Quvara.exe, saves "LabelPrinter" as its printer, prints the sample shipping
# label the way the shell starts the program, and shows what the printer received
# and the program's log.
#
#   scripts/main-job.sh [LABEL_FILE]     (default samples/shipping-label.zpl)
#   tests/e2e/env.sh stop                afterwards, to stop the background services
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
label=$(realpath "${1:-$root/samples/shipping-label.zpl}")
cd "$root"

step() { printf '\n== %s\n' "$*"; }

step "Installing packages"
bash scripts/install-deps.sh

step "Setting up Wine, CUPS queue and capture printer"
bash tests/e2e/env.sh start
# shellcheck source=/dev/null
source build/e2e/env

step "Building Quvara.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows
exe=$root/build/windows/Quvara.exe
ls -l "$exe"

step "Saving $QV_QUEUE as the printer"
wine reg add 'HKLM\Software\Pellander\Quvara' /v Printer /t REG_SZ /d "$QV_QUEUE" /f /reg:32
wine reg query 'HKLM\Software\Pellander\Quvara' /v Printer /reg:32

winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
# What the shell runs for an opened label file: quoted program path, blank, quoted file path.
cmdline="\"$(winpath "$exe")\" \"$(winpath "$label")\""
step "Printing: $cmdline"
printf '%s' "$cmdline" >"$QV_E2E/main-job-cmdline"
before=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
rm -f "$QV_TEMP/QuvaraLog.txt"
status=0
wine "$QV_LAUNCH" "$(winpath "$QV_E2E/main-job-cmdline")" || status=$?
echo "exit code: $status"

step "What the printer received"
job=""
for _ in $(seq 200); do
  job=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
  [ -n "$job" ] && [[ $job > $before ]] && break
  job=""
  sleep 0.05
done
if [ -z "$job" ]; then
  echo "nothing arrived at the capture printer" >&2
  result=1
else
  echo "job: $QV_CAPTURES/$job ($(stat -c %s "$QV_CAPTURES/$job") bytes)"
  if cmp "$label" "$QV_CAPTURES/$job"; then
    echo "cmp: identical to $(basename "$label") ($(stat -c %s "$label") bytes)"
    result=0
  else
    result=1
  fi
  echo "---- received ----"
  tr -d '\r' <"$QV_CAPTURES/$job"
  echo "------------------"
fi

step "Log: $QV_TEMP/QuvaraLog.txt"
tr -d '\r' <"$QV_TEMP/QuvaraLog.txt"
[ "$status" = 0 ] && exit "$result"
exit 1
