#!/usr/bin/env bash
# Writes tests/support/signing_vectors.h: keys, texts and signatures made with
# the openssl command line exactly as a publisher makes them, fixed once so
# that the same vectors serve the native suites and those under Wine.
# Run again only to renew them: bash tests/support/make_signing_vectors.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$work"
openssl ecparam -name prime256v1 -genkey -noout -out key.pem
openssl ecparam -name prime256v1 -genkey -noout -out other.pem
openssl ecparam -name secp384r1 -genkey -noout -out p384.pem
openssl ecparam -name secp256k1 -genkey -noout -out k1.pem
openssl ecparam -name prime256v1 -genkey -noout -out updater.pem
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out rsa.pem 2>/dev/null
public() { openssl pkey -in "$1" -pubout -outform DER | base64 -w0; }

printf '[Version]\r\n2.05\r\n' >text.ini
printf '[Version]\r\n9.99\r\n' >other.ini
sign() { openssl dgst -sha256 -sign "$1" -out "$3" "$2"; }
sign key.pem text.ini text.sig
sign key.pem other.ini other.sig
sign other.pem text.ini otherkey.sig
# A signature whose r has fewer than 32 bytes, which a verifier must pad.
for ((i = 0; i < 5000; ++i)); do
    sign key.pem text.ini short.sig
    [[ $(xxd -p -s 3 -l 1 short.sig) < 20 ]] && break
done
hex() { xxd -p "$1" | tr -d '\n'; }

# Revision descriptions as a publisher signs them: a release whose two files
# carry their SHA-256 (one in upper case), the same release with one file
# block lacking it, and the older release before it.
digest() { printf '%s' "$1" | sha256sum | cut -d' ' -f1; }
release() { # version, workbook content, template digest or "" for none
    printf '[Version]\r\n%s\r\n[Titel]\r\nMorvane-Aktualisierung %s\r\n' "$1" "$1"
    printf '[Msg-Typ]\r\n1\r\n[Beschreibung]\r\nNeue Auswertung der Quartalszahlen\r\n'
    printf '[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\n'
    printf 'SHA256 = %s\r\n' "$(digest "$2")"
    printf '[Datei 2]\r\nQuelle = dateien/vorlagen/Bericht.xltx\r\nZiel = Vorlagen\\Bericht.xltx\r\n'
    [[ -n $3 ]] && printf 'SHA256 = %s\r\n' "$3"
    printf '[Startdatei]\r\nAuswertung.xlsm\r\n'
}
template=$(digest 'neue Vorlage 2.04' | tr a-f A-F)
release 2.04 'neue Mappe 2.04' "$template" >release.ini
release 2.04 'neue Mappe 2.04' '' >unhashed.ini
release 2.03 'alte Mappe 2.03' "$(digest 'alte Vorlage 2.03')" >older.ini
for name in release unhashed older; do sign key.pem $name.ini $name.sig; done
# A release that brings a new updater program, signed by a key of its own.
{
    printf '[Version]\r\n2.04\r\n[Titel]\r\nMorvane-Aktualisierung 2.04\r\n[Msg-Typ]\r\n0\r\n'
    printf '[Beschreibung]\r\nNeues Aktualisierungsprogramm\r\n'
    printf '[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\n'
    printf 'SHA256 = %s\r\n' "$(digest 'neue Mappe 2.04')"
    printf '[Datei 2]\r\nQuelle = dateien/Updater.exe\r\nZiel = Updater.exe\r\n'
    printf 'SHA256 = %s\r\n' "$(digest 'neues Programm 2.04')"
    printf '[Startdatei]\r\nAuswertung.xlsm\r\n'
} >updater.ini
sign updater.pem updater.ini updater.sig
# The description as a C++ literal: CR LF as escapes, the backslash doubled.
literal() { sed -e 's/\\/\\\\/g' -e 's/\r$/\\r\\n/' "$1" | tr -d '\n'; }

# Signatures with r or s out of range, built from the good one's values.
python3 - "$(hex text.sig)" >edges.txt <<'PY'
import sys
sig = bytes.fromhex(sys.argv[1])
n = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551
r = int.from_bytes(sig[4:4 + sig[3]], "big")
o = 4 + sig[3]
s = int.from_bytes(sig[o + 2:o + 2 + sig[o + 1]], "big")
def integer(v, pad=False):
    b = v.to_bytes((v.bit_length() + 7) // 8 or 1, "big")
    if b[0] & 0x80 or pad:
        b = b"\0" + b
    return bytes([2, len(b)]) + b
def seq(x):
    return bytes([0x30, len(x)]) + x
for name, body in [("RZero", integer(0) + integer(s)), ("SZero", integer(r) + integer(0)),
                   ("ROrder", integer(n) + integer(s)), ("SOrder", integer(r) + integer(n)),
                   ("RPlusOrder", integer(r + n) + integer(s)),
                   ("SOver256Bits", integer(r) + integer(s + (1 << 256))),
                   ("RPadded", integer(r, True) + integer(s))]:
    print(name, seq(body).hex())
PY

{
    echo '// Written by make_signing_vectors.sh with the openssl command line; do not edit.'
    echo '#pragma once'
    echo '// clang-format off'
    echo
    echo 'namespace morvane::test::vectors {'
    echo
    echo '// Public keys as a publisher prints them for [Signatur].'
    echo "inline constexpr char kPublicKey[] = \"$(public key.pem)\";"
    echo "inline constexpr char kOtherPublicKey[] = \"$(public other.pem)\";"
    echo "inline constexpr char kP384PublicKey[] = \"$(public p384.pem)\";"
    echo "inline constexpr char kSecp256k1PublicKey[] = \"$(public k1.pem)\";"
    echo "inline constexpr char kRsaPublicKey[] = \"$(public rsa.pem)\";"
    echo
    echo '// The signed texts and DER signatures (hex) by kPublicKey unless named otherwise.'
    echo 'inline constexpr char kText[] = "[Version]\r\n2.05\r\n";'
    echo 'inline constexpr char kOtherText[] = "[Version]\r\n9.99\r\n";'
    echo "inline constexpr char kSignature[] = \"$(hex text.sig)\";"
    echo "inline constexpr char kShortRSignature[] = \"$(hex short.sig)\";"
    echo "inline constexpr char kOtherTextSignature[] = \"$(hex other.sig)\";"
    echo "inline constexpr char kOtherKeySignature[] = \"$(hex otherkey.sig)\";"
    echo
    echo '// kSignature with r or s replaced: zero, the group order, beyond 256 bits,'
    echo '// or a needless leading zero byte.'
    while read -r name value; do
        echo "inline constexpr char k${name}Signature[] = \"$value\";"
    done <edges.txt
    echo
    echo '// Signed revision descriptions and the contents of their files.'
    echo 'inline constexpr char kNewWorkbook[] = "neue Mappe 2.04";'
    echo 'inline constexpr char kNewTemplate[] = "neue Vorlage 2.04";'
    echo "inline constexpr char kRelease[] = \"$(literal release.ini)\";"
    echo "inline constexpr char kReleaseSignature[] = \"$(hex release.sig)\";"
    echo "inline constexpr char kUnhashedRelease[] = \"$(literal unhashed.ini)\";"
    echo "inline constexpr char kUnhashedReleaseSignature[] = \"$(hex unhashed.sig)\";"
    echo "inline constexpr char kOlderRelease[] = \"$(literal older.ini)\";"
    echo "inline constexpr char kOlderReleaseSignature[] = \"$(hex older.sig)\";"
    echo
    echo '// A release with a new updater program, signed by kUpdaterReleaseKey.'
    echo 'inline constexpr char kNewUpdater[] = "neues Programm 2.04";'
    echo "inline constexpr char kUpdaterReleaseKey[] = \"$(public updater.pem)\";"
    echo "inline constexpr char kUpdaterRelease[] = \"$(literal updater.ini)\";"
    echo "inline constexpr char kUpdaterReleaseSignature[] = \"$(hex updater.sig)\";"
    echo
    echo '}  // namespace morvane::test::vectors'
} >"$OLDPWD/signing_vectors.h"
