#!/usr/bin/env bash
# The whole job on a fresh Debian 12 machine, in one command:
# installs what is needed, sets up Wine, CUPS and a capture printer (tests/e2e/env.sh),
# builds Quvara.exe, sets it up the way a user does (starts it without a file, picks
# the capture printer "LabelPrinter" in the dialog by its name and presses OK), opens the sample
# shipping label through the file association the dialog wrote, and shows what the
# printer received and the program's log.
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

step "Setting up Wine, a CUPS scheduler of our own with its queue, and the capture printer"
bash tests/e2e/env.sh start
# shellcheck source=/dev/null
source build/e2e/env

step "Building Quvara.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows
exe=$root/build/windows/Quvara.exe
ls -l "$exe"

# shellcheck source=tests/e2e/dialog.sh
source tests/e2e/dialog.sh
step "Setting up: the dialog, $QV_QUEUE chosen in the list, OK"
# A first set-up: no saved printer and no label file types yet.
for key in 'HKCR\.EPL' 'HKCR\.EPL2' 'HKCR\.ZPL' 'HKCR\EPLFile' 'HKCR\ZPLFile' \
  'HKLM\Software\Pellander\Quvara /reg:32'; do
  # shellcheck disable=SC2086 # the view flag is a word of its own
  winreg delete $key /f >/dev/null 2>&1 || true
done
dialog_open "$exe" || { echo "the setup dialog did not appear" >&2; exit 1; }
select_printer "$QV_QUEUE" || exit 1
press "$dialog" Return
dialog_wait_closed
echo "exit code: $status"
tr -d '\r' <"$QV_TEMP/QuvaraLog.txt" | grep -E '^QV(012|022)'
winreg query 'HKLM\Software\Pellander\Quvara' /v Printer /reg:32 2>/dev/null | tr -d '\r' | grep Printer
winreg query 'HKCR\ZPLFile\Shell\Open\command' /ve 2>/dev/null | tr -d '\r' | grep REG_SZ
if ! winreg query 'HKLM\Software\Pellander\Quvara' /v Printer /reg:32 2>/dev/null |
  tr -d '\r' | grep -q "REG_SZ    $QV_QUEUE\$"; then
  echo "the dialog did not save $QV_QUEUE" >&2
  exit 1
fi

step "Printing: opening $(basename "$label") as the browser does"
before=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
rm -f "$QV_TEMP/QuvaraLog.txt"
status=0
win start /wait /unix "$label" || status=$?
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
