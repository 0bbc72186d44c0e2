#!/usr/bin/env bash
# Rebuilds the release of this checkout's commit in a fresh clone at another path (later,
# from files of other times) and compares it byte for byte with DIST (default: dist/, made
# by scripts/release.sh). Uncommitted changes to tracked files are carried over, so a
# working tree compares like for like. Unsigned builds only: a signature differs each time.
#
#   scripts/compare-rebuild.sh [DIST]    exit 0 when every file is the same
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dist=$(realpath "${1:-$root/dist}")
[ -f "$dist/SHA256SUMS" ] || { echo "no $dist/SHA256SUMS: run scripts/release.sh first" >&2; exit 1; }
# Under /tmp: a short path; the tests' own sockets are never started there.
clone=$(mktemp -d /tmp/quvara-rebuild.XXXXXX)
trap 'rm -rf "$clone"' EXIT
git clone --quiet --no-hardlinks "$root" "$clone/elsewhere"
git -C "$root" diff --binary HEAD | git -C "$clone/elsewhere" apply --allow-empty
(cd "$clone/elsewhere" && env -u QUVARA_SIGN_PFX -u SOURCE_DATE_EPOCH bash scripts/release.sh >/dev/null)
if diff -r "$dist" "$clone/elsewhere/dist"; then
  echo "rebuilt in $clone/elsewhere: the same bytes"
  cat "$dist/SHA256SUMS"
else
  echo "rebuilt in $clone/elsewhere: the release differs" >&2
  exit 1
fi
