#!/usr/bin/env bash
# Authenticode signatures (SHA-256) for the Windows release, with osslsigncode.
#
#   sign-release.sh sign FILE...
#       Signs each .exe, .dll or .msi in place with the PKCS#12 file named by
#       VELMORA_SIGN_PKCS12 and its password VELMORA_SIGN_PASSWORD; with
#       VELMORA_SIGN_TIMESTAMP_URL, an RFC 3161 timestamp from that server too.
#   sign-release.sh verify CA_PEM FOLDER [MSI]
#       Checks that every .exe and .dll in FOLDER, and the MSI, carries an intact
#       signature by a certificate that CA_PEM vouches for; names each that does not.
#   sign-release.sh self-signed DIR
#       Makes a throwaway certificate: DIR/velmora.p12 (password: the text in
#       DIR/password) and DIR/velmora.pem, the certificate to trust when verifying.
set -euo pipefail

command=${1:-}
shift || true
case $command in
sign)
    : "${VELMORA_SIGN_PKCS12:?names no PKCS#12 file}" "${VELMORA_SIGN_PASSWORD?is not set}"
    options=(-pkcs12 "$VELMORA_SIGN_PKCS12" -h sha256 -n Velmora -i http://www.quenmark.example/)
    [ -z "${VELMORA_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$VELMORA_SIGN_TIMESTAMP_URL")
    for file in "$@"; do
        # The password goes through a pipe, not the command line that ps shows.
        osslsigncode sign "${options[@]}" -readpass <(printf '%s' "$VELMORA_SIGN_PASSWORD") \
            -in "$file" -out "$file.signed" >/dev/null
        mv "$file.signed" "$file"
    done
    echo "Signed $# files with $VELMORA_SIGN_PKCS12${VELMORA_SIGN_TIMESTAMP_URL:+, timestamped by $VELMORA_SIGN_TIMESTAMP_URL}"
    ;;
verify)
    ca=$1 folder=$2
    bad=()
    while IFS= read -r -d '' file; do
        osslsigncode verify -CAfile "$ca" -in "$file" >/dev/null 2>&1 || bad+=("$file")
    done < <(find "$folder" \( -name '*.exe' -o -name '*.dll' \) -print0; [ -z "${3:-}" ] || printf '%s\0' "$3")
    for file in "${bad[@]}"; do
        echo "not signed, or changed after signing: $file" >&2
    done
    [ ${#bad[@]} -eq 0 ]
    ;;
self-signed)
    dir=$1
    mkdir -p "$dir"
    openssl rand -hex 16 >"$dir/password"
    openssl req -x509 -newkey rsa:3072 -sha256 -days 30 -nodes -subj "/O=Quenmark/CN=Velmora test signing" \
        -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
        -keyout "$dir/velmora.key" -out "$dir/velmora.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/velmora.key" -in "$dir/velmora.pem" -out "$dir/velmora.p12" \
        -passout "file:$dir/password"
    rm "$dir/velmora.key"
    ;;
*)
    sed -n '3,14s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
