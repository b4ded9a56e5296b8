#!/usr/bin/env bash
# Builds the .deb packages, has lintian check them, unpacks the main one into a temporary root and
# runs fwload-cli from there, with the virtual printer from its own package; then installs them with
# dpkg into a throw-away root, reads a man page, and upgrades over an edited settings file.
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

# The desktop entries and the AppStream metadata as freedesktop.org's validators see them.
for entry in "$work"/root/usr/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate $(basename "$entry")"
done
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml >/dev/null || fail "appstreamcli validate"
fi

# Debian's own checker: no errors and no warnings.
for deb in "$work"/out/*.deb; do
    report=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian on $(basename "$deb"): $report"
done

# The programs and their settings file live together; bin/ holds links to them.
for program in fwload fwload-cli sensorpos ribboncap ribbonsense; do
    [[ -x "$work/root/usr/lib/cardprinter-suite/$program" ]] || fail "$program is not installed"
    [[ -L "$work/root/usr/bin/$program" ]] || fail "bin/$program is not a link"
    [[ -f "$work/root/usr/share/applications/$program.desktop" || $program == fwload-cli ]] || fail "no desktop entry for $program"
done
[[ "$(readlink "$work/root/usr/lib/cardprinter-suite/fwload.ini")" == /etc/cardprinter-suite/fwload.ini ]] ||
    fail "fwload.ini beside the programs is not a link to the one under /etc"
[[ -f "$work/root/etc/cardprinter-suite/fwload.ini" ]] || fail "no fwload.ini under /etc"
for program in fwload fwload-cli sensorpos ribboncap ribbonsense; do
    [[ -f "$work/root/usr/share/man/man1/$program.1.gz" ]] || fail "no man page for $program"
done
# The main package never carries the virtual printer.
if dpkg-deb -c "$main" | grep -q -E 'libftd2xx|libcrdprt|libkx4700'; then fail "the main package carries the virtual printer"; fi
[[ -f "$work/simroot/usr/lib/cardprinter-suite-sim/libftd2xx.so" ]] || fail "the sim package lacks libftd2xx.so"

"$work/root/usr/bin/fwload-cli" --help | grep -q "Exit codes:" || fail "fwload-cli --help"
listing=$(env LD_LIBRARY_PATH="$work/simroot/usr/lib/cardprinter-suite-sim" FWSIM_DEVICES="CARD PRINTER" \
          "$work/root/usr/bin/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' ]] || fail "fwload-cli --list printed: $listing"

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
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' ]] || fail "fwload-cli --list through libftdi1 printed: $listing"
# Installed by dpkg into a throw-away root: the man page reads, and an upgrade keeps the settings
# a technician edited (a conffile).
target="$work/target"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
install_deb() { dpkg --root="$target" --force-depends --force-not-root --log=/dev/null -i "$@" >/dev/null; }
previous="$work/previous.deb"
dpkg-deb -R "$main" "$work/previous"
sed -i 's/^Version: .*/Version: 1.0.0-1/' "$work/previous/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/previous" "$previous" >/dev/null
install_deb "$previous" "$sim"
echo "[Edited by a technician]" >> "$target/etc/cardprinter-suite/fwload.ini"
install_deb "$main"
grep -q "Edited by a technician" "$target/etc/cardprinter-suite/fwload.ini" || fail "the upgrade lost the edited fwload.ini"
MANPAGER=cat man -l "$target/usr/share/man/man1/fwload-cli.1.gz" 2>/dev/null | grep -q "EXAMPLES" || fail "man -l fwload-cli.1.gz"
listing=$(env LD_LIBRARY_PATH="$target/usr/lib/cardprinter-suite-sim" FWSIM_DEVICES="CARD PRINTER" \
          "$target/usr/lib/cardprinter-suite/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' ]] || fail "installed fwload-cli --list printed: $listing"
echo "package checks passed"
