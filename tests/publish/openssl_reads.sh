#!/bin/sh
# openssl reads what the publisher's own code wrote into FOLDER (the publish
# suite with MORVANE_SIGNING_OUT): the private key, whose public key must be
# the printed one, and the thousand signatures of the numbered texts.
set -eu
folder=$1
[ -f "$folder/key.pem" ] || { echo "no key in $folder"; exit 1; }
openssl pkey -in "$folder/key.pem" -noout
openssl pkey -in "$folder/key.pem" -pubout -out "$folder/public.pem"
expected=$(cat "$folder/public.txt")
actual=$(openssl pkey -in "$folder/key.pem" -pubout -outform DER | base64 -w0)
[ "$expected" = "$actual" ] || { echo "public key differs: $expected / $actual"; exit 1; }
count=0
for text in "$folder"/*.txt; do
    [ "$text" = "$folder/public.txt" ] && continue
    openssl dgst -sha256 -verify "$folder/public.pem" -signature "${text%.txt}.sig" "$text" \
        >/dev/null || { echo "openssl refuses the signature of $text"; exit 1; }
    count=$((count + 1))
done
[ "$count" -eq 1000 ] || { echo "$count signatures instead of 1000"; exit 1; }
echo "openssl verified $count signatures"
