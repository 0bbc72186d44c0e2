#!/usr/bin/env bash
# Signs FILE in place (Authenticode, SHA-256) with the certificate QUVARA_SIGN_PFX
# (.pfx/.p12) and its password QUVARA_SIGN_PASSWORD, which is handed over in a file only
# we can read, not on a command line; with QUVARA_TIMESTAMP_URL set, that RFC 3161 server
# time-stamps it. Used by scripts/release.sh, and by makensis for the uninstaller.
#
#   scripts/sign.sh FILE
set -euo pipefail
file=$1
# osslsigncode cannot read the password from a pipe.
pass=$(umask 077 && mktemp)
trap 'rm -f "$pass"' EXIT
printf '%s' "$QUVARA_SIGN_PASSWORD" >"$pass"
args=(sign -pkcs12 "$QUVARA_SIGN_PFX" -readpass "$pass" -h sha256 -n Quvara -in "$file" -out "$file.signed")
[ -z "${QUVARA_TIMESTAMP_URL:-}" ] || args+=(-ts "$QUVARA_TIMESTAMP_URL")
osslsigncode "${args[@]}" >/dev/null
mv "$file.signed" "$file"
