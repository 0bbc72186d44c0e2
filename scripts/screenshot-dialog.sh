#!/usr/bin/env bash
# Takes docs/setup-dialog.png: the real setup dialog under Wine, in a virtual desktop
# so that it has its title bar, with the capture printer saved and preselected; and
# docs/notice.png: the box a station with Notify set shows when the saved printer is gone.
#
#   scripts/screenshot-dialog.sh [OUTPUT [NOTICE_OUTPUT]]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/setup-dialog.png}")
notice_out=$(realpath -m "${2:-$root/docs/notice.png}")
cd "$root"

bash scripts/install-deps.sh
bash scripts/install-deps.sh --pictures
bash tests/e2e/env.sh start
# shellcheck source=/dev/null
source build/e2e/env
# shellcheck source=tests/e2e/dialog.sh
source tests/e2e/dialog.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

winreg add 'HKLM\Software\Pellander\Quvara' /v Printer /t REG_SZ /d "$QV_QUEUE" /f /reg:32 \
  >/dev/null 2>&1
desktop=QuvaraScreenshot
win explorer "/desktop=$desktop,700x500" build/windows/Quvara.exe >/dev/null 2>&1 &
dialog=$(find_window "$dialog_title") || { echo "the dialog did not appear" >&2; exit 1; }
sleep 1 # let it finish drawing
mkdir -p "$(dirname "$out")"
# The desktop's plain background is trimmed away, leaving the dialog and its frame.
import -window "$(find_window "$desktop - Wine desktop")" png:- | convert - -trim +repage "$out"
press "$dialog" Escape
wait
echo "$out: $(identify -format '%wx%h' "$out")"

key='HKLM\Software\Pellander\Quvara'
winreg add "$key" /v Printer /t REG_SZ /d "Zebra ZD421" /f /reg:32 >/dev/null 2>&1
winreg add "$key" /v Notify /t REG_DWORD /d 1 /f /reg:32 >/dev/null 2>&1
desktop=QuvaraNotice
# Through the launcher: the desktop hands a program no arguments of its own.
printf '"%s" "%s"' "$(winpath build/windows/Quvara.exe)" "$(winpath samples/test-label.zpl)" >"$QV_E2E/notice-cmdline"
win explorer "/desktop=$desktop,800x400" "$QV_LAUNCH" "$(winpath "$QV_E2E/notice-cmdline")" >/dev/null 2>&1 &
box=$(find_window Quvara) || { echo "the notice did not appear" >&2; exit 1; }
sleep 1
import -window "$(find_window "$desktop - Wine desktop")" png:- | convert - -trim +repage "$notice_out"
press "$box" Return
wait
winreg delete "$key" /v Notify /f /reg:32 >/dev/null 2>&1
winreg add "$key" /v Printer /t REG_SZ /d "$QV_QUEUE" /f /reg:32 >/dev/null 2>&1
echo "$notice_out: $(identify -format '%wx%h' "$notice_out")"
