#!/usr/bin/env bash
# The release end to end, in a Wine prefix of its own made afresh: installed as a user
# does, the installer ends in the setup dialog, whose OK sets the program up; the files
# are where they belong; the sample label prints through the association; the silent
# uninstaller leaves nothing behind; a silent install with /PRINTER= starts no dialog and
# writes the registry exactly as the dialog's OK did; a file type another program has
# taken over outlives the uninstaller. Then the MSI package in the same prefix, with and
# without PRINTER, repaired, upgraded and removed, and a release signed with a throw-away certificate.
#
#   tests/e2e/release.sh     (after scripts/release.sh; prints "N passed, M failed" last)
set -uo pipefail
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
setup=$(ls "$root"/dist/Quvara-*-setup.exe 2>/dev/null | head -n 1)
[ -f "$setup" ] || { echo "no dist/Quvara-*-setup.exe: run scripts/release.sh"; echo "0 passed, 1 failed"; exit 1; }
# The version the release was built for, and a later one.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/windows/CMakeCache.txt")
later_version=$(awk -F. '{ print $1 "." $2 "." $3 + 1 }' <<<"$version")
bash "$root/tests/e2e/env.sh" start >/dev/null || { echo "0 passed, 1 failed"; exit 1; }
# shellcheck source=/dev/null
source "$root/build/e2e/env"
# shellcheck source=tests/e2e/dialog.sh
source "$root/tests/e2e/dialog.sh"

export WINEPREFIX=$QV_E2E/release-prefix
work=$QV_E2E/release
# Programs of an earlier run's prefix must not linger with their windows.
[ -d "$WINEPREFIX" ] && timeout 30 wineserver -k 2>/dev/null
rm -rf "$WINEPREFIX" "$work"
mkdir -p "$WINEPREFIX" "$work"
passed=0
failed=0
check() { # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}

echo "fresh prefix $WINEPREFIX"
env -u DISPLAY timeout 600 wineboot --init >"$work/wineboot.log" 2>&1
env -u DISPLAY timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >>"$work/wineboot.log" 2>&1
# Until this server ends, its desktop is the one made without a display, on which no
# window can be created (measured: the first dialog then failed to appear).
timeout 60 wineserver -w
program_files=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Quvara
start_menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Quvara
exe_win='C:\Program Files (x86)\Quvara\Quvara.exe'
installed="$program_files/Quvara.exe"

install() { win "$setup" "$@" >>"$work/install.log" 2>&1; }
# Until every program of the prefix has ended and its wineserver with them.
all_ended() { timeout 60 wineserver -w; }
# The uninstaller starts a copy of itself and returns at once: the copy does the work.
uninstall() { win "$program_files/Uninstall.exe" /S >>"$work/install.log" 2>&1 && all_ended; }
files_in_place() { # [FILE...]: what this installer adds to the common files
  local f
  for f in Quvara.exe "Quvara guide.html" setup-dialog.png notice.png LICENSE.txt THIRD-PARTY-NOTICES.txt \
    test-label.zpl test-label.epl Samples/shipping-label.zpl Samples/shipping-label.epl "$@"; do
    [ -f "$program_files/$f" ] || { echo "    missing: $f"; return 1; }
  done
  cmp -s "$installed" "$root/build/windows/Quvara.exe" &&
    [ -f "$start_menu/Quvara setup.lnk" ] && [ -f "$start_menu/Quvara guide.lnk" ]
}
key_gone() { ! winreg query "$@" </dev/null >/dev/null 2>&1; }
set_up_as() { cmp -s <(config_dump) <(config_expected "$@"); }
event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quvara'
source_registered() { # the Application log's source "Quvara", with the messages in the installed exe
  local values
  values=$(winreg query "$event_source" </dev/null 2>/dev/null | tr -d '\r' | tr -s ' ')
  grep -qxF " EventMessageFile REG_EXPAND_SZ $exe_win" <<<"$values" && grep -qx ' TypesSupported REG_DWORD 0x7' <<<"$values"
}
nothing_left() {
  local key
  [ ! -e "$program_files" ] && [ ! -e "$start_menu" ] || { echo "    files left"; return 1; }
  key_gone 'HKLM\Software\Pellander' /reg:32 &&
    key_gone 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quvara' /reg:32 && key_gone "$event_source" || return 1
  for key in .EPL .EPL2 .ZPL EPLFile ZPLFile 'MIME\Database\Content Type\application/x-epl' \
    'MIME\Database\Content Type\application/x-epl2' 'MIME\Database\Content Type\application/x-zpl'; do
    key_gone "HKCR\\$key" || { echo "    left: HKCR\\$key"; return 1; }
  done
}

prints_through_the_association() {
  local label="$work/label from a download.zpl" before job
  cp "$root/samples/shipping-label.zpl" "$label"
  before=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
  win start /wait /unix "$label" >/dev/null 2>&1 || return 1
  for _ in $(seq 300); do
    job=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
    [ -n "$job" ] && [[ $job > ${before:-0} ]] && break
    sleep 0.1
  done
  [ -n "$job" ] && [[ $job > ${before:-0} ]] && cmp "$label" "$QV_CAPTURES/$job"
}

# As a user installs: Install on the folder page, then Finish with "Set up Quvara now"
# checked; in the setup dialog that opens the capture printer's queue is chosen, and OK.
install_and_set_up() {
  local page
  (win "$setup" >>"$work/install.log" 2>&1 &)
  page=$(find_window 'Quvara .* Setup ?') || return 1
  press "$page" Return
  # Finish is the default button once the files are in; until then Enter does nothing.
  for _ in $(seq 60); do
    dialog=$(xdotool search --onlyvisible --name "^$dialog_title\$" | head -n 1)
    [ -n "$dialog" ] && break
    press "$page" Return 2>/dev/null
    sleep 0.5
  done
  [ -n "$dialog" ] || { echo "    no setup dialog after the install"; return 1; }
  select_printer "$QV_QUEUE" || return 1
  press "$dialog" Return
  for _ in $(seq 300); do xdotool search --onlyvisible --name "$dialog_title" >/dev/null || return 0; sleep 0.1; done
  return 1
}

installer_version() {
  local rc
  rc=$(i686-w64-mingw32-windres -i "$setup" -O rc 2>/dev/null)
  grep -q "FILEVERSION ${version//./, }, 0" <<<"$rc" && grep -q '"CompanyName", "Pellander Labelling Ltd"' <<<"$rc" &&
    grep -q "PE32 executable (GUI) Intel 80386" <<<"$(file -b "$setup")"
}

check "a 32-bit installer, version $version.0, the maker's name" installer_version
check "install, then set up in the dialog it opens" install_and_set_up
check "files and Start-menu entries in place" files_in_place Uninstall.exe
# The shell link's SLDF_RUNAS_USER (0x2000) in its LinkFlags at offset 0x14.
runs_as_administrator() { (($(od -An -tu4 -j20 -N4 "$start_menu/Quvara setup.lnk") & 0x2000)); }
check "Quvara setup in the Start menu starts as administrator" runs_as_administrator
config_dump >"$work/after-dialog"
check "the dialog wrote what OK writes" cmp -s "$work/after-dialog" \
  <(config_expected "$QV_QUEUE" "$exe_win")
check "prints the sample label through the association" prints_through_the_association
check "silent uninstall" uninstall
check "an address Quvara.exe cannot read (tcp://host:0): exit 2" eval 'install /S /PRINTER=tcp://host:0; [ $? = 2 ]'
check "nothing left behind (by either)" nothing_left
# The installer's reading of /PRINTER= and of addresses (release/printer-option.nsh): a
# program of its functions over a table, parameters|what they give.
rows() { local v; for v in "${@:2}"; do echo "/S /PRINTER=$v /NOTIFY|$1 $v"; done; }
{
  while read -r verdict value _; do # the addresses Quvara.exe reads, in its host tests too
    case $verdict in ok) rows ok "$value" ;; no) rows bad "$value" ;; esac
  done <"$root/tests/printer-addresses.txt"
  rows ok TCPrinter '\\server\Labels'
  printf '%s\n' '/PRINTER=Labels/Packing 2  /NOTIFY|ok Labels/Packing 2' '"/PRINTER=Zebra ZD421" /S|ok Zebra ZD421' \
    '/s /printer=tcp://[::1]|ok tcp://[::1]' '/PRINTER="tcp://host:0" /S|bad tcp://host:0' '/S /XPRINTER=a /NOTIFY|none'
} >"$work/options.table"
printf '%s\n' 'Unicode true' '!include LogicLib.nsh' '!include "${INC}"' 'OutFile "${OUT}"' 'SilentInstall silent' 'Section' \
  'FileOpen $0 "$EXEDIR\cases.txt" r' 'FileOpen $1 "$EXEDIR\answers.txt" w' 'read:' 'FileReadUTF16LE $0 $R0' 'IfErrors 0 +2' \
  'Return' 'StrCpy $R0 $R0 -1' 'Call PrinterOption' 'StrCpy $2 none' 'IfErrors write' 'StrCpy $2 "ok $R0"' 'Call CheckPrinter' \
  'IfErrors 0 write' 'StrCpy $2 "bad $R0"' 'write:' 'FileWriteUTF16LE $1 "$2$\n"' 'Goto read' 'SectionEnd' >"$work/options.nsi"
reads_options() {
  makensis -V1 -DINC="$root/release/printer-option.nsh" -DOUT="$work/options.exe" "$work/options.nsi" &&
    cut -d'|' -f1 "$work/options.table" | iconv -t UTF-16LE >"$work/cases.txt" && win "$work/options.exe" &&
    iconv -f UTF-16LE "$work/answers.txt" | diff <(cut -d'|' -f2 "$work/options.table") -
}
check "/PRINTER= read and addresses checked as Quvara.exe reads them ($(wc -l <"$work/options.table") rows)" reads_options

check "silent install with /PRINTER= and /NOTIFY" install /S "/PRINTER=$QV_QUEUE" /NOTIFY
check "a silent install starts nothing (all its programs end)" all_ended
check "the file types go to HKLM\Software\Classes by name, never through HKCR" eval '! grep -q HKCR "$root/release/quvara.nsi"'
config_dump >"$work/after-install"
check "registry as the dialog's OK left it" diff "$work/after-dialog" "$work/after-install"
notify_saved() { winreg query 'HKLM\Software\Pellander\Quvara' /v Notify /reg:32 </dev/null 2>/dev/null | grep -q "REG_DWORD *0x${1:-1}\b"; }
check "the station option Notify saved" notify_saved
check "the event source registered with the installed Quvara.exe" source_registered
# Each event ID the product writes (the codes with a notice) has its message in Quvara.exe.
message_ids() { # the message table's blocks: their count, then first ID, last ID and offset of each
  local w b id
  w=($(i686-w64-mingw32-windres -i "$installed" -O rc | sed -n '/RT_MESSAGETABLE/,/^END/p' | grep -oE '0x[0-9a-f]+'))
  for ((b = 0; b < w[0]; b++)); do for ((id = w[1 + 3 * b]; id <= w[2 + 3 * b]; id++)); do echo "$id"; done; done
}
check "a message for every event ID the product writes" cmp -s <(message_ids) \
  <(sed -n 's/^ *{"QV0*\([0-9]*\)".*/\1/p' "$root/app/notice.cpp" | sort -un)
check "prints the sample label through the association" prints_through_the_association

# Another program takes over .ZPL: its type stays, the rest goes.
winreg add 'HKCR\ZPLFile\Shell\Open\command' /ve /d '"C:\Other\labels.exe" "%1"' /f \
  </dev/null >/dev/null 2>&1
other_zpl_kept() {
  winreg query 'HKCR\ZPLFile\Shell\Open\command' /ve </dev/null 2>/dev/null | grep -q 'Other' &&
    winreg query 'HKCR\.ZPL' /ve </dev/null 2>/dev/null | grep -q ZPLFile &&
    key_gone 'HKCR\EPLFile' && key_gone 'HKCR\.EPL' && key_gone 'HKCR\.EPL2' &&
    key_gone 'HKLM\Software\Pellander' /reg:32
}
check "silent uninstall" uninstall
check "a file type another program took over is left alone" other_zpl_kept

# Installed elsewhere; an upgrade while a file of it is held open fails, and replaces
# nothing when that file is Quvara.exe; once it is free, an upgrade without /D= goes to the
# same folder; its uninstaller, told the folder in another spelling, knows it as its own.
custom=$WINEPREFIX/drive_c/Labels/Quvara
# Quoted as deployment tools write it (launch.exe keeps the quotes); an address is saved whole.
printf '"%s" /S /PRINTER="tcp://localhost:9101" /D=C:\\Labels\\Quvara' "$(winpath "$setup")" >"$work/cmdline"
check "silent install into C:\Labels\Quvara with /PRINTER=\"tcp://localhost:9101\"" eval 'win "$QV_LAUNCH" \
  "$(winpath "$work/cmdline")" >>"$work/install.log" 2>&1 && set_up_as tcp://localhost:9101 "C:\\Labels\\Quvara\\Quvara.exe"'
echo old >"$custom/Quvara guide.html"
refused_while_in_use() { # FILE held open, FILE that stays as it was
  local status
  rm -f "$work/hold" && mkfifo "$work/hold"
  win "$QV_LAUNCH" -w "C:\\Labels\\Quvara\\$1" <"$work/hold" >"$work/hold.out" 2>&1 &
  exec 9>"$work/hold"
  for _ in $(seq 300); do grep -q holding "$work/hold.out" && break; sleep 0.1; done
  # Without the fifo's writing end: a Wine service the install starts would keep it open.
  install /S 9>&-
  status=$?
  exec 9>&-
  wait
  echo "    exit code $status"
  [ "$status" = 32 ] && grep -qx old "$custom/$2"
}
check "with Quvara.exe in use, a silent upgrade exits 32 and replaces nothing" \
  refused_while_in_use Quvara.exe "Quvara guide.html"
echo old >"$custom/LICENSE.txt"
check "a file that cannot be written stops a silent upgrade with 32" refused_while_in_use LICENSE.txt LICENSE.txt
one_copy_upgraded() {
  install /S && cmp -s "$custom/Quvara guide.html" "$root/docs/user-guide.html" &&
    [ "$(find "$WINEPREFIX/drive_c" -name Quvara.exe | wc -l)" = 1 ]
}
check "an upgrade without /D= goes to that folder: one copy in all" one_copy_upgraded
check "uninstall from that folder with _?=c:\\labels\\QUVARA\\ takes its set-up" eval 'win "$custom/Uninstall.exe" /S \
  "_?=c:\\labels\\QUVARA\\" && rm "$custom/Uninstall.exe" && rmdir "$custom" && nothing_left'

# ---- The MSI package, in the same prefix, then a signed release ----
msi=$(ls "$root"/dist/Quvara-*.msi)
msiexec() { win msiexec "$@" /qn >>"$work/msi.log" 2>&1 && all_ended; }
# Wine puts a per-machine package's shortcuts into the user's Start menu, Windows into ProgramData's.
msi_start_menu=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs)/Quvara
msi_property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
in_programs() { # PACKAGE NAME: listed as NAME, by the maker
  winreg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\\$(msi_property "$1" ProductCode)" \
    /reg:32 </dev/null 2>/dev/null | tr -d '\r' | grep -cE "(DisplayName +REG_SZ +$2|Publisher +REG_SZ +Pellander Labelling Ltd)\$" | grep -qx 2
}
set_up_elsewhere() { # as the dialog of a Quvara in C:\Tools does
  local root sub value type data args
  while IFS='|' read -r root sub value type data; do
    reg_args "$root" "$value"
    winreg add "$root\\$sub" "${args[@]}" /t "$type" /d "$data" /f </dev/null >/dev/null 2>&1 || return 1
  done < <(config_rows "Earlier Printer" 'C:\Tools\Quvara.exe')
}
as_set_up_earlier() { set_up_as "Earlier Printer" 'C:\Tools\Quvara.exe'; }
# A later version: the same upgrade code, a new product code and version.
later=$work/Quvara-$later_version.msi
cp "$msi" "$later"
msibuild "$later" -q "UPDATE Property SET Value = '{5B1B6A1E-0000-5000-8000-000000000231}' WHERE Property = 'ProductCode'" \
  -q "UPDATE Property SET Value = '$later_version' WHERE Property = 'ProductVersion'" \
  -q "UPDATE Property SET Value = 'Quvara $later_version' WHERE Property = 'ProductName'" \
  -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO Upgrade (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Language\`, \`Attributes\`, \`Remove\`, \`ActionProperty\`) VALUES ('$(msi_property "$msi" UpgradeCode)', '', '$later_version', '', 1, '', 'WIX_UPGRADE_DETECTED')" \
  -s "Quvara $later_version" "Pellander Labelling Ltd" "Intel;2057" "{5B1B6A1E-0000-5000-8000-000000000232}"
# The package as Windows Installer reads it, where Wine's msiexec differs (component
# conditions at removal and repair): TABLE|WHAT HOLDS|awk over its rows, exit 0 when it holds.
static_rules=$(cat <<'EOF'
CustomAction|no code of its own: every custom action sets a property or folder|{ t = $2 % 64; if (t != 19 && t != 35 && t != 51) exit 1 }
File|Quvara.exe with its own version and language|$1 == "QuvaraExe" { found = ($5 == version && $6 == 2057) } END { exit !found }
MsiFileHash|no hash for the versioned Quvara.exe|$1 == "QuvaraExe" { exit 1 }
Registry|only Quvara's own keys go whole at removal|$4 ~ /^[-*]$/ && $3 !~ /^(ZPLFile|EPLFile|Software\\Pellander\\Quvara|SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quvara)$/ { exit 1 }
Component|no component weighed again after its install (transitive)|int($4 / 64) % 2 { exit 1 }
Component|the extensions and MIME types are never removed (permanent)|$1 == "FileTypes" { exit int($4 / 16) % 2 == 0 }
InstallExecuteSequence|the saved printer is read back before the conditions are weighed|$1 == "KeepSavedPrinter" { k = $3; c = ($2 ~ /Installed/) } $1 == "CostFinalize" { f = $3 } END { exit !(c && k < f) }
InstallUISequence InstallExecuteSequence|with and without UI the same three read-back actions, conditions alike, before CostFinalize|$1 ~ /^Keep/ { if (!n[$1 FS $2]++) d++; if ($3 > k) k = $3 } $1 == "CostFinalize" { f = $3 } END { for (a in n) if (n[a] != 2) exit 1; exit !(d == 3 && k < f) }
InstallExecuteSequence|a repair sets Notify's value from the saved one whatever NOTIFY says (Windows rewrites it)|$1 == "KeepNotifyOff" { c = $2 } END { exit !(c ~ /Installed/ && c !~ /(^|[^D])NOTIFY/) }
InstallExecuteSequence|the earlier version is removed right after InstallInitialize, in the upgrade's transaction|{ s[$1] = $3 } END { r = s["RemoveExistingProducts"]; i = s["InstallInitialize"]; if (r <= i) exit 1; for (a in s) if (a != "RemoveExistingProducts" && s[a] > i && s[a] <= r) exit 1 }
CustomAction|the Apps entry names the folder and the guide|$3 ~ /^ARP(INSTALLLOCATION|HELPLINK)$/ { n++ } END { exit n != 2 }
LaunchCondition|refuses while the setup program's Quvara is installed|$1 ~ /SETUPEXEINSTALL/ { found = 1 } END { exit !found }
EOF
)
exe_version=$(i686-w64-mingw32-windres -i "$root/build/windows/Quvara.exe" -O rc |
  sed -n 's/^ *FILEVERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p')
while IFS='|' read -r table what rule; do
  check "MSI tables: $what" eval 'for t in $table; do msiinfo export "$msi" "$t" 2>/dev/null | tail -n +4; done | tr -d "\r" |
    awk -F "\t" -v version="$exe_version" "$rule"'
done <<<"$static_rules"

# The two installers know each other: neither installs over the other.
msi_refused() {
  local status
  win msiexec /i "$(winpath "$msi")" /qn >>"$work/msi.log" 2>&1
  status=$?
  all_ended
  echo "    exit code $status"
  [ "$status" != 0 ] && files_in_place Uninstall.exe &&
    winreg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quvara' /reg:32 </dev/null >/dev/null 2>&1
}
check "the setup program's install" install /S
check "the MSI refuses to install over it and leaves it as it was" msi_refused
check "silent uninstall" uninstall

start_menu=$msi_start_menu
check "a station set up earlier" set_up_elsewhere
check "MSI without PRINTER" msiexec /i "$(winpath "$msi")"
check "MSI: files and Start-menu entries in place" files_in_place
check "MSI: in installed programs as \"Quvara $version\"" in_programs "$msi" "Quvara $version"
check "MSI: the event source registered with the installed Quvara.exe" source_registered
check "MSI without PRINTER leaves the set-up as it was" as_set_up_earlier
# The earlier version's removal takes its set-up; the upgrade writes it again, for itself.
check "an upgrade without PRINTER keeps the printer, for the installed Quvara" \
  eval 'msiexec /i "$(winpath "$later")" && set_up_as "Earlier Printer" "$exe_win"'
check "MSI uninstall" msiexec /x "$(winpath "$later")"
quvaras_own_gone() {
  key_gone 'HKLM\Software\Pellander\Quvara' /reg:32 && key_gone 'HKCR\ZPLFile' && key_gone 'HKCR\EPLFile' && key_gone "$event_source"
}
check "MSI uninstall takes the settings and file types that opened it" quvaras_own_gone
check "MSI with PRINTER=\"tcp://[::1]:9101\" and NOTIFY=1" msiexec /i "$(winpath "$msi")" PRINTER="tcp://[::1]:9101" NOTIFY=1
check "MSI: registry as the dialog's OK left it, the address whole, with Notify" eval 'set_up_as "tcp://[::1]:9101" "$exe_win" &&
  notify_saved'
# Through the capture printer's queue, chosen since as in the dialog.
check "MSI: prints the sample label through the association" eval 'winreg add "HKLM\Software\Pellander\Quvara" /v Printer \
  /d "$QV_QUEUE" /f /reg:32 </dev/null >/dev/null 2>&1 && prints_through_the_association'
# A Unix exit status keeps the low 8 bits of a Windows exit code: 1638 arrives as 102.
check "the setup program refuses to install over it (1638) and leaves it as it was" \
  eval 'install /S; [ $? = $((1638 % 256)) ] && files_in_place && set_up_as "$QV_QUEUE" "$exe_win"'
# The printer changed in the dialog since; a repair (every component again) keeps it.
check "MSI repair keeps the printer saved since" eval 'winreg add "HKLM\Software\Pellander\Quvara" /v Printer \
  /d "Changed Printer" /f /reg:32 </dev/null >/dev/null 2>&1 && msiexec /i "$(winpath "$msi")" REINSTALL=ALL \
  REINSTALLMODE=omus && set_up_as "Changed Printer" "$exe_win"'
# Group Policy applies its transform (PRINTER, NOTIFY=1) again at every repair.
repair_as_transform() { msiexec /i "$(winpath "$1")" REINSTALL=ALL REINSTALLMODE=omus PRINTER="Transform Printer" NOTIFY=1; }
check "MSI repair with another PRINTER (as a transform) keeps the printer saved since" eval 'repair_as_transform "$msi" &&
  set_up_as "Changed Printer" "$exe_win" && notify_saved'
check "upgrade to a later MSI without PRINTER" msiexec /i "$(winpath "$later")"
check "the upgrade replaced the earlier version: files in place" eval 'in_programs "$later" "Quvara $later_version" && ! in_programs "$msi" . &&
  files_in_place'
check "the upgrade kept the printer, the file types and Notify" eval 'set_up_as "Changed Printer" "$exe_win" && notify_saved'
check "MSI repair with NOTIFY=1 (as a transform) leaves a Notify set to 0 at 0, and the printer" eval 'winreg add \
  "HKLM\Software\Pellander\Quvara" /v Notify /t REG_DWORD /d 0 /f /reg:32 </dev/null >/dev/null 2>&1 &&
  repair_as_transform "$later" && notify_saved 0 && set_up_as "Changed Printer" "$exe_win"'
# Another program takes .zpl over with a type of its own, and an Open with entry.
other_takes_zpl() {
  winreg add 'HKCR\OtherLabels.zpl\Shell\Open\command' /ve /d '"C:\Other\labels.exe" "%1"' /f &&
    winreg add 'HKCR\.ZPL' /ve /d OtherLabels.zpl /f && winreg add 'HKCR\.ZPL\OpenWithProgids' /v OtherLabels.zpl /d '' /f
} </dev/null >/dev/null 2>&1
other_zpl_left() {
  winreg query 'HKCR\.ZPL' /ve | grep -q 'REG_SZ *OtherLabels.zpl' && winreg query 'HKCR\.ZPL\OpenWithProgids' /v OtherLabels.zpl &&
    winreg query 'HKCR\OtherLabels.zpl\Shell\Open\command' /ve | grep -q Other
} </dev/null >/dev/null 2>&1
check "another program takes .zpl over" other_takes_zpl
check "MSI uninstall by product code" msiexec /x "$(msi_property "$later" ProductCode)"
check "MSI: nothing of Quvara's left, the other program's .zpl kept" eval 'quvaras_own_gone && other_zpl_left &&
  [ ! -e "$program_files" ] && [ ! -e "$start_menu" ] && ! in_programs "$later" .'

# Signed with a throw-away certificate, exported the older way (RC2-40, which OpenSSL 3 reads
# only with -legacy); without its signature, Quvara.exe is the unsigned one.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=Quvara test signer" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
openssl pkcs12 -export -legacy -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:throwaway
release_signed() { QUVARA_SIGN_PFX=$1 QUVARA_SIGN_PASSWORD=throwaway bash "$root/scripts/release.sh" "$work/signed"; }
# Signed only with a time stamp, or when told to go without one.
stops_unstamped() { local out; out=$(release_signed "$work/test.pfx" 2>&1) && return 1; [[ $out == *"needs QUVARA_TIMESTAMP_URL"* ]]; }
check "no time stamp, and no QUVARA_NO_TIMESTAMP=1: the release stops" stops_unstamped
check "signed release" eval 'QUVARA_NO_TIMESTAMP=1 release_signed "$work/test.pfx" >"$work/signed.log" 2>&1'
verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1 | grep -q "^Signature verification: ok"; }
# App control checks every program as it loads, the plug-ins the installer unpacks too.
packed_signed() {
  local programs f
  rm -rf "$work/packed" && 7z x -o"$work/packed" "$work"/signed/*-setup.exe >/dev/null || return 1
  mapfile -t programs < <(find "$work/packed" -type f -exec sh -c 'file -b "$1" | grep -q ^PE32' _ {} \; -print)
  echo "    ${#programs[@]} programs: ${programs[*]##*/}"
  for f in "${programs[@]}"; do verified "$f" || return 1; done
  [ ${#programs[@]} -ge 5 ]
}
check "every program inside the signed installer is signed (its plug-ins too)" packed_signed
unzip -p "$work"/signed/Quvara-*.zip Quvara/Quvara.exe >"$work/Quvara.exe"
check "signed: Quvara.exe, the installer, the MSI" eval 'verified "$work/Quvara.exe" && verified "$work"/signed/*-setup.exe && verified "$work"/signed/*.msi'
check "the signature removed, Quvara.exe is the unsigned one" eval 'osslsigncode remove-signature -in "$work/Quvara.exe" \
  -out "$work/unsigned.exe" >/dev/null && cmp "$work/unsigned.exe" <(unzip -p "$root"/dist/Quvara-*.zip Quvara/Quvara.exe)'
setup=$(ls "$work"/signed/Quvara-*-setup.exe)
check "the signed installer installs a signed uninstaller" eval 'install /S && verified "$program_files/Uninstall.exe" && uninstall'

timeout 30 wineserver -k 2>/dev/null
rm -rf "$WINEPREFIX"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
