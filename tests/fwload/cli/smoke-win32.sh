#!/usr/bin/env bash
# The 32-bit Windows build under 32-bit Wine, against its own virtual printer DLLs (whose __stdcall
# exports must match the binding's): fwload-cli lists the printer, downloads into it, and stops
# with 130 on one or three Ctrl-C; the win32 installer installs, runs and uninstalls. Skipped, with
# the reason, where this machine cannot run 32-bit x86 programs or 32-bit Wine is not installed.
#     smoke-win32.sh BUILD-X86-DIR     (WINEPREFIX set)
set -u
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/../../.." && pwd)
source "$source/tests/support/checks.sh"
if ! "${SUITE_32_BIT_PROBE:-$source/scripts/runs-32-bit-x86}"; then
    skip "the 32-bit build under 32-bit Wine" "this machine cannot run 32-bit x86 programs"
    checks_passed
    exit
fi
if [[ $(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null) != "install ok installed" ]]; then
    skip "the 32-bit build under 32-bit Wine" "32-bit Wine, wine32:i386, is not installed"
    checks_passed
    exit
fi
# Debian's `wine` for these 32-bit programs, here and in the scripts this one runs.
export SUITE_WINE_32_BIT=yes
export WINEPATH="Z:$build/sim" FWSIM_STATE_DIR=$(mktemp -d) FWSIM_RESTART_CALLS=0 FWSIM_WRITE_MS=5
trap 'rm -rf "$FWSIM_STATE_DIR"' EXIT
cli=$build/fwload/cli/fwload-cli.exe
check_equal "32-bit program" "PE32" "$(file -b "$cli" | cut -d' ' -f1)"
check_equal "--list" $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' "$(wine "$cli" --list 2>/dev/null | tr -d '\r')"
printf '[NOV Card Printer]0123456789' > "$FWSIM_STATE_DIR/small.bin"
wine "$cli" -q --ini "Z:$source/fwload/download/fwload.ini" -m KX-4700 "Z:$FWSIM_STATE_DIR/small.bin" >/dev/null 2>&1
check_equal "a download exits 0" 0 "$?"
check "Ctrl-C stops a download" "$source/tests/fwload/cli/ctrl-c-under-wine.sh" "$cli" \
    "$source/fwload/download/fwload.ini" "$build/sim/make-demo-firmware.exe"
version=$(wine "$cli" --version 2>/dev/null | tr -d '\r')
version=${version#fwload-cli }
check "the win32 installer" "$source/tests/packaging/check-windows-installer.sh" \
    "$build/packages/cardprinter-suite-$version-win32-setup.exe" "$version"
checks_passed
