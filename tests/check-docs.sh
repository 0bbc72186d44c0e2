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
nsi_exits() { echo 0; echo 2; sed -n 's/^!define EXIT_[A-Z_]* *\([0-9]*\).*/\1/p' release/quvara.nsi; }
guide_guids() { grep -ohE '\{[0-9A-Fa-f-]{36}\}' "$guide" | tr a-f A-F; }
msi_guids() { msiinfo export dist/Quvara-*.msi Property | tr -d '\r' | sed -n 's/^\(ProductCode\|UpgradeCode\)\t//p' | tr a-f A-F; }
# Commands whose settings a printer keeps (media, speed, darkness, orientation, sensors,
# language, configuration); EPL comment lines start with ";".
kept_commands() {
  grep -HnoiE '[~^](MD|SD|PR|PW|LL|LH|LT|LS|MN|MT|MM|MF|ML|PO|PM|JU|JM|JZ|JS|CI|CC|CD|CT|KP|KN|ND|NS|SC|TA|SE)' samples/test-label.zpl
  tr -d '\r' <samples/test-label.epl | grep -nE '^(q|Q|S|D|Z|O|R|I|Y|J[BCF]|o[A-Za-z]|T[DST])' | sed 's/^/samples\/test-label.epl:/'
}
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
the GUIDs the guide names are the MSI's ProductCode and UpgradeCode|guide_guids|msi_guids|=
the test labels hold no command whose setting the printer keeps|kept_commands|nothing|
CHECKS
exit $failed
