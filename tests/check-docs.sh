#!/usr/bin/env bash
# The documents against the sources and the built release (after scripts/release.sh): what
# README.md, docs/developers.md and the guide name must exist, and the test labels must set
# nothing a printer keeps. Prints what is wrong; exits non-zero if anything is.
# shellcheck disable=SC2317,SC2016  # the functions run from the table; "$" in sed is literal
set -uo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.." || exit 1
guide=docs/user-guide.html
docs=(README.md docs/developers.md "$guide")
table() { sed -n "/<table id=\"$1\"/,/<\/table>/p" "$guide"; }
codes() { grep -ohE 'QV([0-9]{3}|xxx)' "$@" | sort -u; }
doc_codes() { codes "${docs[@]}"; }
product_codes() { grep -rhoE '"QV([0-9]{3}|xxx)"' app config print ui | tr -d '"' | sort -u; }
table_codes() { table codes | codes; }
# Names of the packages and of the files in them; the guide's pictures ship beside it.
doc_files() {
  grep -ohE 'Quvara-[0-9][0-9.]*[0-9](-setup\.exe|\.msi|\.zip)|SHA256SUMS|Quvara\.exe|Quvara guide\.html|LICENSE\.txt|THIRD-PARTY-NOTICES\.txt|(test|shipping)-label\.[a-z0-9]+|Uninstall\.exe' "${docs[@]}"
  sed -n 's/.*<img src="\([^"]*\)".*/\1/p' "$guide"
}
release_files() {
  ls dist; unzip -Z1 dist/Quvara-*.zip | sed 's|.*/||'
  sed -n 's/^ *WriteUninstaller "\$INSTDIR\\\(.*\)"/\1/p' release/quvara.nsi
}
exit_table() { table exit-codes | sed -n 's/.*<tr><td>\([0-9]*\)<\/td>.*/\1/p'; }
event_id_table() { table event-ids | sed -n 's/.*<tr><td>\([0-9]*\)<\/td>.*/\1/p'; }
message_ids() { sed -n 's/^MessageId=//p' res/messages.mc; }
nsi_exits() { echo 0; echo 2; sed -n 's/^!define EXIT_[A-Z_]* *\([0-9]*\).*/\1/p' release/quvara.nsi; }
guide_guids() { grep -ohE '\{[0-9A-Fa-f-]{36}\}' "$guide" | tr a-f A-F; }
msi_guids() { msiinfo export dist/Quvara-*.msi Property | tr -d '\r' | sed -n 's/^\(ProductCode\|UpgradeCode\)\t//p' | tr a-f A-F; }
# Quvara's settings key and value names as the documents give them (reg, PowerShell), and the
# product's; keys compared without the 32-bit view's WOW6432Node and case.
doc_settings() {
  grep -ohiE 'software\\(wow6432node\\)?pellander\\[a-z]+' "${docs[@]}" | sed 's/wow6432node\\//I' | tr '[:upper:]' '[:lower:]'
  grep -hE 'Pellander\\|GetValue\(' "${docs[@]}" | grep -oE "/v [A-Za-z]+|GetValue\('[A-Za-z]+'\)" | sed -E "s/^\/v //; s/GetValue\('(.*)'\)/\1/"
}
product_settings() {
  sed -n 's/^const char SETTINGS_KEY\[\] = "\(.*\)";/\1/p' config/registry.cpp | sed 's/\\\\/\\/g' | tr '[:upper:]' '[:lower:]'
  sed -n 's/.*_VALUE\[\] = "\(.*\)";/\1/p' config/registry.cpp
}
# The upgrade code as Windows Installer keeps it under Installer\UpgradeCodes: each of the
# first three groups reversed, then each pair of the rest swapped.
guide_packed_codes() { grep -ohE 'UpgradeCodes\\[0-9A-Fa-f]{32}' "$guide" | sed 's/.*\\//' | tr a-f A-F; }
msi_packed_upgrade_code() {
  msiinfo export dist/Quvara-*.msi Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p' | tr -d '{}-' | tr a-f A-F |
    awk '{ r = ""; for (i = 8; i >= 1; i--) r = r substr($0, i, 1)
      for (i = 12; i >= 9; i--) r = r substr($0, i, 1); for (i = 16; i >= 13; i--) r = r substr($0, i, 1)
      for (i = 17; i < 33; i += 2) r = r substr($0, i + 1, 1) substr($0, i, 1); print r }'
}
# (An IPv4 address in a printer address, tcp://10.20.1.15, is not a version.)
doc_file_versions() { grep -ohE '(//)?\b[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\b' "${docs[@]}" | grep -v '^//'; }
exe_file_version() { i686-w64-mingw32-windres -i build/windows/Quvara.exe -O rc | sed -n 's/^ FILEVERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p'; }
# Commands whose settings a printer keeps (media, speed, darkness, orientation, sensors,
# language, configuration); EPL comment lines start with ";".
kept_commands() {
  grep -HnoiE '[~^](MD|SD|PR|PW|LL|LH|LT|LS|MN|MT|MM|MF|ML|PO|PM|JU|JM|JZ|JS|CI|CC|CD|CT|KP|KN|ND|NS|SC|TA|SE)' samples/test-label.zpl
  tr -d '\r' <samples/test-label.epl | grep -nE '^(q|Q|S|D|Z|O|R|I|Y|J[BCF]|o[A-Za-z]|T[DST])' | sed 's/^/samples\/test-label.epl:/'
}
# The repair the guide gives, as REINSTALL options and as msiexec's short form /f<mode>, and the
# options the release test repairs with.
guide_repair() { grep -ohE 'REINSTALL(MODE)?=[A-Za-z]+|msiexec /f[a-z]+' "$guide" | sed 's|^msiexec /f|REINSTALLMODE=|'; }
tested_repair() { grep -ohE 'REINSTALL(MODE)?=[A-Za-z]+' tests/e2e/release.sh; }
# Windows' Settings has Repair only for Store apps: an MSI is repaired from Programs and Features.
settings_repair() { tr -s ' \n' '  ' <"$guide" | grep -oE 'Settings, Apps,? [^.;<]{0,60}Repair'; }
# Get-Printer -Name takes wildcards: a name with [ ] never matches, one with ? may match another.
printer_by_pattern() { grep -noE 'Get-Printer ([^|]*-Name )?\$' "$guide"; }
# The guide's printer scripts keep a saved network printer's address (tcp:...).
scripts_replacing_address() {
  for id in printer-script printer-check; do
    sed -n "/<pre id=\"$id\"/,/<\/pre>/p" "$guide" | grep -q "^if (\$saved -like 'tcp:\*')" || echo "$id"
  done
}
# The symptoms the index by symptom must hold, each with its place.
symptoms() { printf '%s\n' "not in Quvara's list" 'asks which app' 'open in Notepad' 'The settings were not saved'; }
index_symptoms() { sed -n '/<ul id="symptoms">/,/<\/ul>/p' "$guide" | tr -s ' \n' '  ' | grep -oF -f <(symptoms); }
# Links inside the guide and the places they lead to.
guide_links() { grep -oE 'href="#[^"]+"' "$guide" | sed 's/^href="#//; s/"$//'; }
guide_ids() { grep -oE ' id="[^"]+"' "$guide" | sed 's/^ id="//; s/"$//'; }
nothing() { :; }
failed=0
# What is checked | what the documents (or labels) hold | what may be | = when both must match
while IFS='|' read -r what named allowed exact; do
  wrong=$(comm -23 <($named | sort -u) <($allowed | sort -u)
    [ -z "$exact" ] || comm -13 <($named | sort -u) <($allowed | sort -u) | sed 's/^/missing: /')
  if [ -n "$wrong" ]; then failed=1; echo "FAIL $what:"; echo "  ${wrong//$'\n'/$'\n'  }"; else echo "ok   $what"; fi
done <<'CHECKS'
event codes the documents name exist in the product|doc_codes|product_codes|
every event code of the product is in the guide's table "codes"|product_codes|table_codes|
file names the documents give exist in the release|doc_files|release_files|
the guide's table "exit-codes" holds exactly the installer's exit codes|exit_table|nsi_exits|=
the guide's table "event-ids" holds exactly the event log messages' IDs|event_id_table|message_ids|=
the GUIDs the guide names are the MSI's ProductCode and UpgradeCode|guide_guids|msi_guids|=
the test labels hold no command whose setting the printer keeps|kept_commands|nothing|
Quvara's settings key and value names the documents give are the product's|doc_settings|product_settings|
the packed upgrade code the guide gives is the MSI's|guide_packed_codes|msi_packed_upgrade_code|=
the file versions the documents give are Quvara.exe's|doc_file_versions|exe_file_version|
the guide's MSI repair is the release test's|guide_repair|tested_repair|=
the guide repairs the MSI nowhere through Settings, Apps|settings_repair|nothing|
the guide's scripts find a saved printer by its exact name|printer_by_pattern|nothing|
the guide's printer scripts leave a saved address alone|scripts_replacing_address|nothing|
the guide's index by symptom holds each symptom asked for|index_symptoms|symptoms|=
every link inside the guide leads to a place in it|guide_links|guide_ids|
CHECKS
exit $failed
