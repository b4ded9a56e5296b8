#!/usr/bin/env bash
# Builds the .deb packages, unpacks the main one into a temporary root and runs fwload-cli from
# there, with the virtual printer from its own package.
#     check-package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null
main=$(ls "$work"/out/cardprinter-suite_*.deb)
sim=$(ls "$work"/out/cardprinter-suite-sim_*.deb)
dpkg-deb -x "$main" "$work/root"
dpkg-deb -x "$sim" "$work/simroot"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The programs and their settings file live together; bin/ holds links to them.
for program in fwload fwload-cli sensorpos ribboncap ribbonsense; do
    [[ -x "$work/root/usr/lib/cardprinter-suite/$program" ]] || fail "$program is not installed"
    [[ -L "$work/root/usr/bin/$program" ]] || fail "bin/$program is not a link"
    [[ -f "$work/root/usr/share/applications/$program.desktop" || $program == fwload-cli ]] || fail "no desktop entry for $program"
done
[[ -f "$work/root/usr/lib/cardprinter-suite/fwload.ini" ]] || fail "fwload.ini is not beside the programs"
# The main package never carries the virtual printer.
if dpkg-deb -c "$main" | grep -q -E 'libftd2xx|libcrdprt|libkx4700'; then fail "the main package carries the virtual printer"; fi
[[ -f "$work/simroot/usr/lib/cardprinter-suite-sim/libftd2xx.so" ]] || fail "the sim package lacks libftd2xx.so"

"$work/root/usr/bin/fwload-cli" --help | grep -q "Exit codes:" || fail "fwload-cli --help"
listing=$(env LD_LIBRARY_PATH="$work/simroot/usr/lib/cardprinter-suite-sim" FWSIM_DEVICES="CARD PRINTER" \
          "$work/root/usr/bin/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer' ]] || fail "fwload-cli --list printed: $listing"

# Through the link, the settings file beside the real program is the one read.
printf '[NOV Card Printer]' > "$work/fw.bin"
models=$(env LD_LIBRARY_PATH="$work/simroot/usr/lib/cardprinter-suite-sim" \
         "$work/root/usr/bin/fwload-cli" --model no-such-model "$work/fw.bin" 2>&1 || true)
[[ "$models" == *"cardprinter-suite/fwload.ini"* ]] || fail "fwload-cli did not read the installed fwload.ini: $models"
# The free D2XX library's package: the library beside the programs, the udev rule, nothing of the
# virtual printer; with it unpacked over the programs, fwload-cli reaches the printer through
# libftdi1 and the virtual printer's USB face.
d2xx=$(ls "$work"/out/cardprinter-suite-d2xx_*.deb)
[[ -f "$work/root/usr/lib/cardprinter-suite/libftd2xx.so" ]] && fail "the main package carries a D2XX library"
dpkg-deb -x "$d2xx" "$work/root"
[[ -f "$work/root/usr/lib/udev/rules.d/70-cardprinter-suite.rules" ]] || fail "the d2xx package lacks its udev rule"
grep -q 'TAG+="uaccess"' "$work/root/usr/lib/udev/rules.d/70-cardprinter-suite.rules" || fail "the udev rule gives no access"
if dpkg-deb -c "$d2xx" | grep -q -E 'libcrdprt|libusb'; then fail "the d2xx package carries the virtual printer"; fi
listing=$(env LD_LIBRARY_PATH="$work/simroot/usr/lib/cardprinter-suite-sim/usb" FWSIM_DEVICES="CARD PRINTER" \
          "$work/root/usr/bin/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer' ]] || fail "fwload-cli --list through libftdi1 printed: $listing"
echo "package checks passed"
