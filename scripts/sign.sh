#!/usr/bin/env bash
# Signs one Windows file in place with Authenticode (osslsigncode), with the
# certificate scripts/package.sh was given: ARTNET_SIGN_PFX (PKCS#12),
# ARTNET_SIGN_PASSWORD, and ARTNET_SIGN_TIMESTAMP_URL when the signature is
# to outlast the certificate. makensis runs it on the uninstaller and setup.
#   scripts/sign.sh FILE
set -euo pipefail
file=$1
timestamp=()
[[ -n "${ARTNET_SIGN_TIMESTAMP_URL:-}" ]] && timestamp=(-ts "$ARTNET_SIGN_TIMESTAMP_URL")
# The password through a pipe, not the command line others can read.
osslsigncode sign -pkcs12 "$ARTNET_SIGN_PFX" -readpass <(printf '%s' "${ARTNET_SIGN_PASSWORD:-}") \
  -n "ArtNet output plug-in for Lumenstage" -h sha256 "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
