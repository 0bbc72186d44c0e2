#!/usr/bin/env bash
# Takes docs/setup-dialog.png: the real setup dialog under Wine, in a virtual desktop
# so that it has its title bar, with the capture printer saved and preselected.
#
#   scripts/screenshot-dialog.sh [OUTPUT]     (default docs/setup-dialog.png)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/setup-dialog.png}")
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
