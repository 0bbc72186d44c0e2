#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent: a machine
# that already has everything spends a second here.
set -euo pipefail

build_pkgs="cmake make g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  libwine-dev googletest libgtest-dev libgmock-dev file
  clang libclang-rt-14-dev clang-tidy gcovr"
e2e_pkgs="wine wine64 wine32:i386 wine32-preloader:i386 libcups2:i386 fonts-wine
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386
  libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
  qemu-user-static xvfb xdotool cups cups-client cups-bsd python3 procps"

# Only res/draw-pictures.sh needs these; the build uses the committed pictures.
picture_pkgs="imagemagick fonts-dejavu-core python3"
# scripts/release.sh: the installer, the MSI package (wixl; msibuild of msitools; faketime
# for its stored times), signing (osslsigncode), and the throw-away certificate of the
# release test (openssl, unzip to take the signed program out of the zip, 7z to list what the
# installer packs).
release_pkgs="nsis msitools wixl faketime osslsigncode openssl unzip python3 p7zip-full"
# Only scripts/render-guide.sh needs these: the guide as headless Chromium shows and prints it.
docs_pkgs="chromium fonts-dejavu-core fonts-liberation"

case "${1:-}" in
  --build-only) want="$build_pkgs" ;;
  --pictures) want="$picture_pkgs" ;;
  --release) want="$build_pkgs $release_pkgs" ;;
  --docs) want="$docs_pkgs" ;;
  *) want="$build_pkgs $e2e_pkgs $release_pkgs" ;;
esac

# The i386 packages apart: they are installed first, on their own (below).
i386=()
rest=()
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" && continue
  if [[ $p == *:i386 ]]; then i386+=("$p"); else rest+=("$p"); fi
done
[ $((${#i386[@]} + ${#rest[@]})) = 0 ] && exit 0

echo "installing:" "${i386[@]}" "${rest[@]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt=(apt-get -o DPkg::Lock::Timeout=900)
# A mirror caught mid-sync serves one index that does not match its Release file; the
# others are still good.
"${apt[@]}" update -qq || echo "some package indexes could not be fetched; going on without them"
main_only=
apt_install() { # PACKAGE...
  "${apt[@]}" install -y -qq --no-install-recommends "$@" >/dev/null && return
  # Without the security suite's i386 index, its amd64 updates cannot be matched by the
  # i386 libraries Wine needs: the release's own versions then fit together.
  if [ -z "$main_only" ]; then
    main_only=$(mktemp -d)
    trap 'rm -rf "$main_only"' EXIT
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/security/' "$f" >"$main_only/$(basename "$f")"
    done
    [ ! -e /etc/apt/sources.list ] || grep -v security /etc/apt/sources.list >"$main_only/main.list" || true
  fi
  echo "retrying with the distribution's own suites only"
  "${apt[@]}" -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$main_only" \
    install -y -qq --no-install-recommends "$@" >/dev/null
}
# On a fresh machine the whole list at once found no solution with either set of suites
# ("held broken packages"); the i386 packages alone did, and then the rest.
[ ${#i386[@]} = 0 ] || apt_install "${i386[@]}"
[ ${#rest[@]} = 0 ] || apt_install "${rest[@]}"
