#!/usr/bin/env bash
# Authenticode signatures (SHA-256) for the Windows release, with osslsigncode.
#
#   sign-release.sh sign FILE|FOLDER...
#       Signs each file (a program, a DLL, an MSI), and every program file in each
#       FOLDER, in place with the PKCS#12 file named by VELMORA_SIGN_PKCS12 and its
#       password VELMORA_SIGN_PASSWORD; with VELMORA_SIGN_TIMESTAMP_URL, an RFC 3161
#       timestamp from that server too.
#   sign-release.sh verify CA_PEM FOLDER MSI
#       Checks FOLDER (the release folder, or the zip unpacked) against the MSI, whose
#       signature covers the list of files it holds and their bytes: the MSI carries
#       an intact signature by a certificate that CA_PEM vouches for, FOLDER holds
#       exactly the MSI's files, no more and no fewer, each with the same bytes, and
#       every program file among them (whatever its name) carries such a signature of
#       its own. Names are compared as Windows compares them, whatever their case; a
#       folder or link where the MSI has a file, or a name with a control character,
#       fails. Names each file that fails, and why.
#   sign-release.sh self-signed DIR
#       Makes a throwaway certificate: DIR/velmora.p12 (password: the text in
#       DIR/password) and DIR/velmora.pem, the certificate to trust when verifying.
set -euo pipefail

command=${1:-}
shift || true
# Program files by their content, not their names: Windows loads a DLL called
# VERSION.DLL or evil.ocx as readily as one called *.dll.
is_program() { [ -f "$1" ] && cmp -s -n 2 -- "$1" <(printf MZ); }

case $command in
sign)
    : "${VELMORA_SIGN_PKCS12:?names no PKCS#12 file}" "${VELMORA_SIGN_PASSWORD?is not set}"
    options=(-pkcs12 "$VELMORA_SIGN_PKCS12" -h sha256 -n Velmora -i http://www.quenmark.example/)
    [ -z "${VELMORA_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$VELMORA_SIGN_TIMESTAMP_URL")
    files=()
    for named in "$@"; do
        if [ -d "$named" ]; then
            while IFS= read -r -d '' file; do
                ! is_program "$file" || files+=("$file")
            done < <(find "$named" -type f -print0 | sort -z)
        else
            files+=("$named")
        fi
    done
    for file in "${files[@]}"; do
        # The password goes through a pipe, not the command line that ps shows.
        osslsigncode sign "${options[@]}" -readpass <(printf '%s' "$VELMORA_SIGN_PASSWORD") \
            -in "$file" -out "$file.signed" >/dev/null
        mv "$file.signed" "$file"
    done
    echo "Signed ${#files[@]} files with $VELMORA_SIGN_PKCS12${VELMORA_SIGN_TIMESTAMP_URL:+, timestamped by $VELMORA_SIGN_TIMESTAMP_URL}"
    ;;
verify)
    ca=$1 msi=${3:?names no MSI: the folder is checked against the files it holds}
    # The folder resolved once (a link to it, a trailing //): every name below hangs off this.
    [ -d "${2:?names no folder}" ] || { echo "not a folder: $2" >&2; exit 1; }
    folder=$(realpath -e -- "$2")
    failed=0
    fail() { echo "$1: $2" >&2; failed=1; }
    signed() { osslsigncode verify -CAfile "$ca" -in "$1" >/dev/null 2>&1; }
    signed "$msi" || fail "not signed, or changed after signing" "$msi"
    held=$(mktemp -d)
    trap 'rm -rf "$held"' EXIT
    msiextract -C "$held" "$msi" >/dev/null || fail "cannot be unpacked" "$msi"
    root=$(find "$held" -name velmora.exe -printf '%h\n' | head -n 1)
    [ -n "$root" ] || { fail "holds no velmora.exe" "$msi"; exit 1; }
    # Both lists as data: NUL-separated names, each with its type (f file, d folder, l link...),
    # keyed case-blind as Windows looks files up. Only ASCII letters fold: the MSI's names are
    # ASCII, so any other name is one it does not hold, whatever Windows would fold it to.
    export LC_ALL=C
    entries() { find "$1" -mindepth 1 -printf '%y%P\0' | sort -z; }
    declare -A held_type held_name seen
    while IFS= read -r -d '' entry; do
        name=${entry:1}
        held_type[${name,,}]=${entry:0:1} held_name[${name,,}]=$name
    done < <(entries "$root")
    while IFS= read -r -d '' entry; do
        type=${entry:0:1} name=${entry:1}
        key=${name,,} file=$folder/$name
        if [[ $name == *[[:cntrl:]]* ]]; then
            fail "a name with a control character (shown as ?), which no release holds" "${file//[[:cntrl:]]/?}"
        elif [ -n "${seen[$key]:-}" ]; then
            fail "the same name to Windows as $folder/${seen[$key]}" "$file"
        elif [ -z "${held_type[$key]:-}" ]; then
            fail "not in the release" "$file"
        elif [ "$type" != "${held_type[$key]}" ]; then
            fail "$([ "${held_type[$key]}" = f ] && echo "not a plain file" || echo "not a folder")" "$file"
        elif [ "$type" = f ] && ! cmp -s -- "$file" "$root/${held_name[$key]}"; then
            fail "not the file the MSI holds" "$file"
        elif [ "$type" = f ] && is_program "$file" && ! signed "$file"; then
            fail "not signed, or changed after signing" "$file"
        fi
        seen[$key]=$name
    done < <(entries "$folder")
    while IFS= read -r -d '' key; do
        [ -n "${seen[$key]:-}" ] || fail "missing from the release" "$folder/${held_name[$key]}"
    done < <(printf '%s\0' "${!held_name[@]}" | sort -z)
    [ $failed -eq 0 ]
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
    sed -n '3,20s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
