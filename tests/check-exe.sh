#!/usr/bin/env bash
# Checks the built Quvara.exe itself: a 32-bit GUI program that needs no DLL beyond
# Windows' own, hardened as a security review expects (ASLR, DEP, Remote Desktop aware),
# carrying its manifest and version resource.
set -u
exe=${1:-build/windows/Quvara.exe}
passed=0
failed=0
check() {  # check NAME COMMAND...
    local name=$1; shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1)); echo "ok   $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"
    fi
}

[ -f "$exe" ] || { echo "FAIL $exe not found"; echo "0 passed, 1 failed"; exit 1; }
# The version the build was made for: its project version, with a fourth 0.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$(dirname "$exe")/CMakeCache.txt")
version_text=$(sed 's/\./, /g' <<<"$version.0")
rc=$(mktemp)
trap 'rm -f "$rc"' EXIT
i686-w64-mingw32-windres -i "$exe" -O rc >"$rc" 2>/dev/null
has() { grep -qF -- "$1" "$rc"; }
lacks() { ! grep -qE -- "$1" "$rc"; }
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z')

check "under 256 KiB" [ "$(stat -c %s "$exe")" -lt 262144 ]
check "PE32 GUI program for i386" grep -q "PE32 executable (GUI) Intel 80386" <<<"$(file -b "$exe")"
windows_dlls="KERNEL32.DLL USER32.DLL ADVAPI32.DLL WINSPOOL.DRV COMDLG32.DLL SHELL32.DLL GDI32.DLL MSVCRT.DLL"
only_windows_dlls() {
    [ -n "$imports" ] || return 1
    for dll in $imports; do grep -qw -- "$dll" <<<"$windows_dlls" || { echo "imports $dll"; return 1; }; done
}
check "imports only Windows' own DLLs ($(echo $imports))" only_windows_dlls
# Exactly these: a new DLL (libssp, libgcc_s, a stray system one) is a change to look at.
check "imports exactly its DLLs" [ "$(sort <<<"$imports" | xargs)" = \
    "ADVAPI32.DLL COMDLG32.DLL KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL WINSPOOL.DRV" ]
pe=$(i686-w64-mingw32-objdump -p "$exe")
dll_flag() { sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$pe" | grep -qw "$1"; }
# ASLR needs the base relocations: a stripped .reloc would leave the image at its base.
relocatable() {
    dll_flag DYNAMIC_BASE && ! grep -q "relocations stripped" <<<"$pe" &&
        grep -qE "^Entry 5 [0-9a-f]{8} 0*[1-9a-f][0-9a-f]* Base Relocation Directory \[\.reloc\]" <<<"$pe"
}
check "ASLR (DYNAMIC_BASE) with its base relocations" relocatable
check "DEP (NX_COMPAT)" dll_flag NX_COMPAT
check "Remote Desktop aware (TERMINAL_SERVICE_AWARE)" dll_flag TERMINAL_SERVICE_AWARE
check "no link time in the header (reproducible)" grep -q "^Time/Date.*Jan  1 00:00:00 1970" <<<"$pe"
check "file version $version.0 (the project's)" has "FILEVERSION $version_text"
check "product version $version.0" has "PRODUCTVERSION $version_text"
check "for Windows NT, 32-bit (VOS_NT_WINDOWS32)" has "FILEOS 0x40004"
check "an application (VFT_APP)" has "FILETYPE 0x1"
check "no file flags" lacks "^ FILEFLAGS "
one_uk_table() { [ "$(grep -cE 'BLOCK "[0-9A-Fa-f]{8}"' "$rc")" = 1 ] && has 'BLOCK "080904B0"'; }
check "one string table, English (UK), Unicode" one_uk_table
check "translation 0x0809, 0x04B0" has 'VALUE "Translation", 0x809, 1200'
check "file description" has 'VALUE "FileDescription", "Quvara"'
check "internal name" has 'VALUE "InternalName", "Quvara"'
check "original file name" has 'VALUE "OriginalFilename", "Quvara.exe"'
version_texts() { has "VALUE \"FileVersion\", \"$version_text\"" && has "VALUE \"ProductVersion\", \"$version_text\""; }
check "version texts" version_texts
makers_fields() {
    for f in CompanyName ProductName LegalCopyright; do grep -q "VALUE \"$f\", \"[^\"]" "$rc" || return 1; done
}
check "maker's fields filled" makers_fields
check "manifest asks for asInvoker, no UI access" has 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""'
check "manifest names no identity and no dependency" lacks "assemblyIdentity|dependency"
first_icon_is_program() { [ "$(grep -m1 "RT_GROUP_ICON" "$rc" | cut -d" " -f1)" = 102 ]; }
check "program icon is the first icon group" first_icon_is_program
# Resources by language: the message table alone also in English (US) and neutral.
languages() { awk '/^LANGUAGE/ { l = $2 $3 } /^[0-9]+ ([0-9]+ \/\*|DIALOGEX|VERSIONINFO)/ { print l, $2 }' "$rc" | sort -u | xargs; }
check "every resource in English (United Kingdom), the message table also (US) and neutral" \
    [ "$(languages)" = "0,0 11 9,1 11 9,2 11 9,2 14 9,2 2 9,2 24 9,2 3 9,2 DIALOGEX 9,2 VERSIONINFO" ]
# The message tables as windres reads them back (with their texts): alike in every language,
# and every insert written %n!S!, so that a viewer does not expand a "%1" in a file name.
table() { awk -v l="$1" '/^LANGUAGE/ { t = $2 $3 } /RT_MESSAGETABLE/ && t == l { on = 1 } on; on && /^END/ { exit }' "$rc"; }
check "the message table alike in English (US, UK) and neutral" eval '[ -n "$(table 9,2)" ] &&
    [ "$(table 0,0)" = "$(table 9,2)" ] && [ "$(table 9,1)" = "$(table 9,2)" ]'
check "every insert of every message written %n!S!" eval 'table 9,2 | grep -q "%1!S!" &&
    ! table 9,2 | grep -oE "%[1-9][0-9]?(!S!)?" | grep -qv "!S!$"'
dialog_as_expected() { diff <(sed -n '/^101 DIALOGEX/,/^END/p' "$rc") <(grep -v '^#' "$(dirname "$0")/config-dialog.rc"); }
check "setup dialog template as in tests/config-dialog.rc" dialog_as_expected

echo "exe: $(stat -c %s "$exe") bytes"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
