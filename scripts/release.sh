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
# Signed (Authenticode, SHA-256: Quvara.exe before it is packed, the installer's plug-ins,
# the uninstaller, the installer, the MSI) when QUVARA_SIGN_PFX (an RSA code-signing
# certificate) and QUVARA_SIGN_PASSWORD are set, time-stamped by the RFC 3161 server
# QUVARA_TIMESTAMP_URL; without one, only with QUVARA_NO_TIMESTAMP=1. See scripts/sign.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dist=$(realpath -m "${1:-$root/dist}")
cd "$root"
bash scripts/install-deps.sh --release
version=$(sed -n 's/^project(Quvara VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
commit=$(git rev-parse HEAD)
# One version, one commit: over an installed version, Windows Installer refuses a package
# of the same version built from other sources (1638). Tag v<version> marks a published one.
released=$(git rev-parse -q --verify "refs/tags/v$version^{commit}" || true)
if [ -n "$released" ] && [ "$released" != "$commit" ]; then
  echo "version $version was released from commit $released (tag v$version): raise the version in CMakeLists.txt" >&2
  exit 1
fi
# Cab and zip entries hold local times: make local time the same everywhere.
export TZ=UTC LC_ALL=C

signed=
if [ -n "${QUVARA_SIGN_PFX:-}" ]; then
  [ -f "$QUVARA_SIGN_PFX" ] && [ -n "${QUVARA_SIGN_PASSWORD+set}" ] ||
    { echo "QUVARA_SIGN_PFX must name a file, with QUVARA_SIGN_PASSWORD set" >&2; exit 1; }
  # Without a time stamp a signature stops validating when the certificate expires, and app
  # control then blocks Quvara.exe at every label, with no log.
  [ -n "${QUVARA_TIMESTAMP_URL:-}" ] || [ "${QUVARA_NO_TIMESTAMP:-}" = 1 ] ||
    { echo "signing needs QUVARA_TIMESTAMP_URL (an RFC 3161 time-stamp server), or QUVARA_NO_TIMESTAMP=1 to sign without one" >&2; exit 1; }
  # Smart App Control accepts RSA signatures only. Certificates exported the older way
  # (RC2-40, as older Windows does) need OpenSSL 3's legacy provider to be read at all.
  certificate() { openssl pkcs12 "$@" -in "$QUVARA_SIGN_PFX" -passin env:QUVARA_SIGN_PASSWORD -nokeys -clcerts; }
  why=$(mktemp)
  cert=$(certificate 2>"$why" || certificate -legacy 2>>"$why") ||
    { echo "cannot read QUVARA_SIGN_PFX; openssl says:" >&2; cat "$why" >&2; rm -f "$why"; exit 1; }
  rm -f "$why"
  # Read whole, not piped into grep -q: openssl killed by SIGPIPE would refuse a good one.
  text=$(openssl x509 -noout -text <<<"$cert") && [[ $text == *"Public Key Algorithm: rsaEncryption"* ]] ||
    { echo "QUVARA_SIGN_PFX must hold an RSA code-signing certificate (Smart App Control refuses others)" >&2; exit 1; }
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
cp docs/setup-dialog.png docs/notice.png "$stage/"
cp samples/test-label.zpl samples/test-label.epl "$stage/"
cp samples/shipping-label.zpl samples/shipping-label.epl "$stage/Samples/"
cp LICENSE "$stage/LICENSE.txt"

# The runtime code the linker took into Quvara.exe (its map), then the licences Debian
# ships for it. A piece from anywhere else stops the release: its licence is unknown here.
python3 scripts/third-party-notices.py build/windows/Quvara.map "$version" >"$stage/THIRD-PARTY-NOTICES.txt"
# The installer's side picture is packed as a file too, with its time.
cp res/installer-side.bmp build/release/
find "$stage" build/release/installer-side.bmp -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

nsis_signing=()
if [ -n "$signed" ]; then
  # The plug-ins the installer unpacks into %TEMP% and loads there: app control checks each
  # as it loads, so they go in signed copies too, and a signed release holds no unsigned code.
  plugins=build/release/plugins
  mkdir -p "$plugins"
  cp /usr/share/nsis/Plugins/x86-unicode/*.dll "$plugins/"
  for dll in "$plugins"/*.dll; do sign "$dll"; done
  nsis_signing=(-DSIGN="bash '$root/scripts/sign.sh'" -DPLUGINS="$root/$plugins")
fi
makensis -V2 -DVERSION="$version" -DROOT="$root" -DSTAGE="$root/$stage" -DSIDE="$root/build/release/installer-side.bmp" "${nsis_signing[@]}" \
  -DOUTFILE="$dist/Quvara-$version-setup.exe" release/quvara.nsi
sign "$dist/Quvara-$version-setup.exe"

# The MSI: wixl, then the table edits of release/quvara-msi.sql. Its codes are name-based
# UUIDs: the product code of the version (an upgrade changes it), the package code of the
# version and the commit. The package's own times are SOURCE_DATE_EPOCH's (faketime).
code() { python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID("6865186e-1475-4e70-aeee-884c37143e77"), sys.argv[1])).upper())' "$1"; }
at_source_date() { faketime -f "$(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" "$@"; }
msi=$dist/Quvara-$version.msi
package_code=$(code "Quvara $version package $commit")
cp res/program.ico build/release/
# wixl takes source files by relative names only.
(cd "$stage" && at_source_date wixl -a x86 -D Version="$version" -D ProductCode="$(code "Quvara $version")" \
  -D PackageCode="$package_code" -D Stage=. -D ProgramIcon=../program.ico -o "$msi" "$root/release/quvara.wxs")
edits=()
while IFS= read -r statement; do edits+=(-q "$statement"); done < <(
  sed -e '/^--/d' -e '/^[[:space:]]*$/d' -e "s/@FILEVERSION@/$version.0/g" release/quvara-msi.sql |
    awk '{ s = s (s == "" ? "" : " ") $0 } /;$/ { print substr(s, 1, length(s) - 1); s = "" }')
at_source_date msibuild "$msi" "${edits[@]}" -s "Quvara $version" "Pellander Labelling Ltd" "Intel;2057" "$package_code"
sign "$msi"

# The zip holds what the installers put in place, under the same names and times.
python3 scripts/zip-release.py "$stage" "$dist/Quvara-$version.zip" "$SOURCE_DATE_EPOCH"
(cd "$dist" && sha256sum "Quvara-$version-setup.exe" "Quvara-$version.msi" "Quvara-$version.zip" >SHA256SUMS)
ls -l "$dist"
