#!/usr/bin/env bash
# Builds the release from this checkout into dist/:
#   Quvara-<version>-setup.exe   the installer (NSIS, release/quvara.nsi)
#   Quvara-<version>.zip         the same files, to unpack anywhere (folder Quvara/)
#   SHA256SUMS                   checksums of both
# The version is the CMake project's. Installs what is missing (apt-get).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh --release
version=$(sed -n 's/^project(Quvara VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }

cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
rm -rf dist
mkdir -p dist
makensis -V2 -DVERSION="$version" -DROOT="$root" -DOUTFILE="$root/dist/Quvara-$version-setup.exe" \
  release/quvara.nsi

# The zip holds what the installer puts in place, under the same names.
python3 - "$root" "dist/Quvara-$version.zip" <<'PY'
import sys, zipfile
root, out = sys.argv[1:3]
files = [("build/windows/Quvara.exe", "Quvara.exe"), ("docs/user-guide.html", "Quvara guide.html"),
         ("docs/setup-dialog.png", "setup-dialog.png"),
         ("samples/shipping-label.zpl", "Samples/shipping-label.zpl"),
         ("samples/shipping-label.epl", "Samples/shipping-label.epl")]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
    for source, name in files:
        # A fixed date: the same sources give the same zip.
        info = zipfile.ZipInfo("Quvara/" + name, date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(f"{root}/{source}", "rb") as data:
            archive.writestr(info, data.read())
PY
(cd dist && sha256sum "Quvara-$version-setup.exe" "Quvara-$version.zip" >SHA256SUMS)
ls -l dist
