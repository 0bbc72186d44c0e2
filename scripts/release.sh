#!/usr/bin/env bash
# Builds the release from this checkout into dist/:
#   Quvara-<version>-setup.exe   the installer (NSIS, release/quvara.nsi)
#   Quvara-<version>.msi         the same as a Windows Installer package (release/quvara.wxs)
#   Quvara-<version>.zip         the same files, to unpack anywhere (folder Quvara/)
#   SHA256SUMS                   checksums of all three
# The version is the CMake project's. Installs what is missing (apt-get).
#
#   scripts/release.sh [DIST]    into DIST instead of dist/
#
# Reproducible: the same commit gives the same bytes, from any folder at any time. Every
# time stored comes from SOURCE_DATE_EPOCH (default: the last commit's time), package
# codes from the version and the commit.
#
# Signed (Authenticode, SHA-256: Quvara.exe before it is packed, the uninstaller, the
# installer, the MSI) when QUVARA_SIGN_PFX and QUVARA_SIGN_PASSWORD are set;
# QUVARA_TIMESTAMP_URL adds RFC 3161 time stamps. See scripts/sign.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dist=$(realpath -m "${1:-$root/dist}")
cd "$root"
bash scripts/install-deps.sh --release
version=$(sed -n 's/^project(Quvara VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
commit=$(git rev-parse HEAD)
# Cab and zip entries hold local times: make local time the same everywhere.
export TZ=UTC LC_ALL=C

signed=
if [ -n "${QUVARA_SIGN_PFX:-}" ]; then
  [ -f "$QUVARA_SIGN_PFX" ] && [ -n "${QUVARA_SIGN_PASSWORD+set}" ] ||
    { echo "QUVARA_SIGN_PFX must name a file, with QUVARA_SIGN_PASSWORD set" >&2; exit 1; }
  signed=yes
  echo "signing with $QUVARA_SIGN_PFX${QUVARA_TIMESTAMP_URL:+, time stamps from $QUVARA_TIMESTAMP_URL}"
else
  echo "not signed: no QUVARA_SIGN_PFX (a code-signing certificate) given"
fi
sign() { [ -z "$signed" ] || bash scripts/sign.sh "$1"; }

cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

# What every package holds, under its installed names, all with the same file time.
stage=build/release/stage
rm -rf build/release
mkdir -p "$stage/Samples" "$dist"
rm -f "$dist"/Quvara-*-setup.exe "$dist"/Quvara-*.msi "$dist"/Quvara-*.zip "$dist/SHA256SUMS"
cp build/windows/Quvara.exe "$stage/"
sign "$stage/Quvara.exe"
cp docs/user-guide.html "$stage/Quvara guide.html"
cp docs/setup-dialog.png "$stage/"
cp samples/shipping-label.zpl samples/shipping-label.epl "$stage/Samples/"
cp LICENSE "$stage/LICENSE.txt"

# The runtime code the linker took into Quvara.exe (its map), then the licences Debian
# ships for it. A piece from anywhere else stops the release: its licence is unknown here.
python3 - build/windows/Quvara.map "$version" >"$stage/THIRD-PARTY-NOTICES.txt" <<'PY'
import os, re, subprocess, sys, textwrap
map_file, version = sys.argv[1:3]
text = open(map_file).read()
included = text.split("Archive member included", 1)[1].split("\nDiscarded input sections", 1)[0]
pieces = re.findall(r"^(/\S+?\.a)\((\S+?)\)", included, re.M)
pieces += [(path, None) for path in re.findall(r"^LOAD (/\S+\.o)$", text, re.M)]
groups = {"gcc": {}, "mingw": {}}
for path, member in pieces:
    path = os.path.normpath(path)
    group = ("gcc" if path.startswith("/usr/lib/gcc/i686-w64-mingw32/") else
             "mingw" if path.startswith("/usr/i686-w64-mingw32/lib/") else None)
    if group is None:
        sys.exit(f"linked from outside the toolchain's runtime: {path}")
    groups[group].setdefault(path, set()).update([member] if member else [])
def package_version(name):
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                          text=True, check=True).stdout
print(f"Quvara {version}: third-party code in Quvara.exe\n")
print("Quvara itself is Copyright (c) 2026 Pellander Labelling Ltd, under the MIT License")
print("(LICENSE.txt). Quvara.exe also holds, statically linked, these parts of the runtime of")
print("the compiler it is built with, Debian's MinGW-w64 cross compiler for 32-bit Windows:\n")
titles = {"gcc": f"GCC's runtime libraries (GCC {package_version('gcc-mingw-w64-base')}): "
                 "GNU GPL version 3 with the GCC Runtime Library Exception 3.1",
          "mingw": f"The MinGW-w64 runtime (mingw-w64 {package_version('mingw-w64-common')}): "
                   "Zope Public License 2.1 and public domain"}
for group in ("gcc", "mingw"):
    print(titles[group])
    for path in sorted(groups[group]):
        members = sorted(groups[group][path])
        print(textwrap.fill(" ".join(members), 78, initial_indent=f"  {path}: ",
                            subsequent_indent="      ") if members else f"  {path}")
    print()
licences = [("mingw-w64 (Debian package mingw-w64-common)", "/usr/share/doc/mingw-w64-common/copyright"),
            ("GCC (Debian package gcc-mingw-w64-base)", "/usr/share/doc/gcc-mingw-w64-base/copyright"),
            ("The GNU General Public License, version 3", "/usr/share/common-licenses/GPL-3")]
for title, path in licences:
    print("=" * 78 + f"\n{title}: {path}\n" + "=" * 78 + "\n")
    print(open(path).read())
PY
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

nsis_signing=()
[ -z "$signed" ] || nsis_signing=(-DSIGN="bash '$root/scripts/sign.sh'")
makensis -V2 -DVERSION="$version" -DROOT="$root" -DSTAGE="$root/$stage" "${nsis_signing[@]}" \
  -DOUTFILE="$dist/Quvara-$version-setup.exe" release/quvara.nsi
sign "$dist/Quvara-$version-setup.exe"

# The MSI: wixl, then msibuild for what wixl cannot say. Its codes are name-based UUIDs:
# the product code of the version (an upgrade changes it), the package code of the version
# and the commit. The package's own times are SOURCE_DATE_EPOCH's (faketime).
code() { python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID("6865186e-1475-4e70-aeee-884c37143e77"), sys.argv[1])).upper())' "$1"; }
at_source_date() { faketime -f "$(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" "$@"; }
msi=$dist/Quvara-$version.msi
package_code=$(code "Quvara $version package $commit")
cp build/windows/SetupActions.dll res/program.ico build/release/
sign build/release/SetupActions.dll
# wixl takes source files by relative names only.
(cd "$stage" && at_source_date wixl -a x86 -D Version="$version" -D ProductCode="$(code "Quvara $version")" \
  -D PackageCode="$package_code" -D Stage=. -D SetupActions=../SetupActions.dll -D ProgramIcon=../program.ico \
  -o "$msi" "$root/release/quvara.wxs")
at_source_date msibuild "$msi" -q "UPDATE Component SET Condition = 'PRINTER OR (REMOVE~=\"ALL\" AND CONFIGURED)' WHERE Component = 'Configuration'"
# After the searches and before the component conditions are weighed (wixl puts them late).
for sequence in InstallExecuteSequence InstallUISequence; do
  at_source_date msibuild "$msi" -q "UPDATE $sequence SET Sequence = 55 WHERE Action = 'FindConfiguration'" \
    -q "UPDATE $sequence SET Sequence = 60 WHERE Action = 'KeepSavedPrinter'"
done
at_source_date msibuild "$msi" \
  -q "UPDATE InstallExecuteSequence SET Condition = '\$Configuration = 3 OR \$Configuration = 2' WHERE Action = 'NotifyAssociationsChanged'" \
  -q "UPDATE Registry SET Value = '#x00000100' WHERE Name = 'EditFlags'" \
  -q "UPDATE Property SET Value = 'PRINTER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'" \
  -q "UPDATE Shortcut SET Target = '[#QuvaraExe]', Name = 'QUVARA~1|Quvara setup' WHERE Shortcut = 'SetupShortcut'" \
  -q "UPDATE Shortcut SET Target = '[#Guide]', Name = 'QUVARA~2|Quvara guide' WHERE Shortcut = 'GuideShortcut'" \
  -q "INSERT INTO RemoveFile (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('RemoveMenuDir', 'Program', '', 'MenuDir', 2)"
for name in "QUVARA~1.HTM|Quvara guide.html" "SETUP-~1.PNG|setup-dialog.png" \
  "THIRD-~1.TXT|THIRD-PARTY-NOTICES.txt" "SHIPPI~1.ZPL|shipping-label.zpl" "SHIPPI~1.EPL|shipping-label.epl"; do
  at_source_date msibuild "$msi" -q "UPDATE File SET FileName = '$name' WHERE FileName = '${name#*|}'"
done
# Removal takes the keys the values were written to, not only the values ("*": created at
# install, deleted with all they hold at removal).
n=0
for key in 2:'Software\Pellander\Quvara' 0:.EPL 0:.EPL2 0:EPLFile 0:.ZPL 0:ZPLFile \
  0:'MIME\Database\Content Type\application/x-epl' 0:'MIME\Database\Content Type\application/x-epl2' \
  0:'MIME\Database\Content Type\application/x-zpl'; do
  n=$((n + 1))
  at_source_date msibuild "$msi" -q "INSERT INTO Registry (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('WholeKey$n', ${key%%:*}, '${key#*:}', '*', '', 'Configuration')"
done
at_source_date msibuild "$msi" -s "Quvara $version" "Pellander Labelling Ltd" "Intel;2057" "$package_code"
sign "$msi"

# The zip holds what the installers put in place, under the same names and times.
python3 - "$stage" "$dist/Quvara-$version.zip" "$SOURCE_DATE_EPOCH" <<'PY'
import os, sys, time, zipfile
stage, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted(os.path.relpath(os.path.join(d, f), stage) for d, _, fs in os.walk(stage) for f in fs)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in names:
        info = zipfile.ZipInfo("Quvara/" + name, date_time=time.gmtime(epoch)[:6])
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(os.path.join(stage, name), "rb") as data:
            archive.writestr(info, data.read())
PY
(cd "$dist" && sha256sum "Quvara-$version-setup.exe" "Quvara-$version.msi" "Quvara-$version.zip" >SHA256SUMS)
ls -l "$dist"
