#!/usr/bin/env bash
# The signing step of the Windows packages: with a throw-away certificate made here, a program and
# an installer are signed with SHA-256 and osslsigncode verifies them against it; without a key
# nothing is signed.
#     check-windows-signing.sh PROGRAM.EXE SETUP.EXE
set -u
sign=$(cd "$(dirname "$0")/../.." && pwd)/packaging/windows/sign
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../support/checks.sh"
cp "$1" "$work/program.exe"
cp "$2" "$work/setup.exe"
verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1 | grep -q "^Signature verification: ok"; }

SIGN_PKCS12= "$sign" "$work/program.exe"
check "without a key nothing is signed" eval '! osslsigncode verify -in "$work/program.exe" >/dev/null 2>&1'

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Card printer suite test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:s3cret -out "$work/key.p12"
SIGN_PKCS12=$work/key.p12 SIGN_PASSWORD=s3cret "$sign" "$work/program.exe" "$work/setup.exe" >/dev/null
check "the program is signed and verifies" verified "$work/program.exe"
check "the installer is signed and verifies" verified "$work/setup.exe"
check_equal "the digest" "SHA256" "$(osslsigncode verify -in "$work/program.exe" 2>&1 | sed -n 's/^Message digest algorithm *: *//p' | head -1)"
check "a wrong password signs nothing" eval '! SIGN_PKCS12=$work/key.p12 SIGN_PASSWORD=wrong "$sign" "$work/program.exe" >/dev/null 2>&1'
checks_passed
