#!/usr/bin/env bash
# Builds the .deb packages, has lintian check them, unpacks the command-line and window ones into a
# temporary root and runs fwload-cli from there, with the virtual printer from its own package; reads
# the udev rule as udev would; installs them with dpkg into a throw-away root, reads the man pages,
# upgrades over an edited settings file and over the layout before the cli package; makes the apt
# repository and resolves the cli package from it as apt would.
#     check-package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null
main=$(ls "$work"/out/cardprinter-suite_*.deb)
cli=$(ls "$work"/out/cardprinter-suite-cli_*.deb)
sim=$(ls "$work"/out/cardprinter-suite-sim_*.deb)
dpkg-deb -x "$main" "$work/root"
dpkg-deb -x "$cli" "$work/root"
dpkg-deb -x "$cli" "$work/cliroot"
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
for program in fwload fwload-station fwload-cli sensorpos ribboncap ribbonsense; do
    [[ -x "$work/root/usr/lib/cardprinter-suite/$program" ]] || fail "$program is not installed"
    [[ -L "$work/root/usr/bin/$program" ]] || fail "bin/$program is not a link"
    [[ -f "$work/root/usr/share/applications/$program.desktop" || $program == fwload-cli ]] || fail "no desktop entry for $program"
done
[[ "$(readlink "$work/root/usr/lib/cardprinter-suite/fwload.ini")" == /etc/cardprinter-suite/fwload.ini ]] ||
    fail "fwload.ini beside the programs is not a link to the one under /etc"
[[ -f "$work/root/etc/cardprinter-suite/fwload.ini" ]] || fail "no fwload.ini under /etc"
for program in fwload fwload-station fwload-cli sensorpos ribboncap ribbonsense; do
    [[ -f "$work/root/usr/share/man/man1/$program.1.gz" ]] || fail "no man page for $program"
done
# The main package never carries the virtual printer.
if dpkg-deb -c "$main" | grep -q -E 'libftd2xx|libcrdprt|libkx4700'; then fail "the main package carries the virtual printer"; fi
# The command line on its own: fwload-cli, its man page and the settings file, nothing of a desktop.
for path in usr/lib/cardprinter-suite/fwload-cli usr/bin/fwload-cli usr/share/man/man1/fwload-cli.1.gz \
    etc/cardprinter-suite/fwload.ini usr/lib/cardprinter-suite/fwload.ini; do
    [[ -e "$work/cliroot/$path" || -L "$work/cliroot/$path" ]] || fail "the cli package lacks /$path"
done
if dpkg-deb -c "$main" | grep -q -E 'fwload-cli|fwload\.ini'; then fail "the window package carries fwload-cli or fwload.ini"; fi
cli_depends=$(dpkg-deb -f "$cli" Depends)
[[ "$cli_depends" != *qt* && "$cli_depends" != *libx* && "$cli_depends" != *libgl* ]] || fail "the cli package depends on: $cli_depends"
if ldd "$work/cliroot/usr/lib/cardprinter-suite/fwload-cli" | grep -q -E 'libQt|libX|libGL'; then fail "fwload-cli links a desktop library"; fi
[[ "$(dpkg-deb -f "$main" Depends)" == *"cardprinter-suite-cli (= "* ]] || fail "the window package does not depend on the cli package"
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
# The rule as udev reads it: the line that matches FTDI's USB devices, its assignments.
rule_assignments() {
    awk '!/^[[:space:]]*(#|$)/ && /ATTR\{idVendor\}=="0403"/' "$1" | tr ',' '\n' | sed 's/^[[:space:]]*//;s/[[:space:]]*$//' |
        grep -E '^[A-Z]+(\{[^}]*\})?(\+=|:=|=)"' | sort | tr '\n' ' '
}
[[ "$(rule_assignments "$work/root/usr/lib/udev/rules.d/70-cardprinter-suite.rules")" == 'GROUP="plugdev" MODE="0660" TAG+="uaccess" ' ]] ||
    fail "the udev rule assigns: $(rule_assignments "$work/root/usr/lib/udev/rules.d/70-cardprinter-suite.rules")"
if dpkg-deb -c "$d2xx" | grep -q -E 'libcrdprt|libusb'; then fail "the d2xx package carries the virtual printer"; fi
listing=$(env LD_LIBRARY_PATH="$work/simroot/usr/lib/cardprinter-suite-sim/usb" FWSIM_DEVICES="CARD PRINTER" \
          "$work/root/usr/bin/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' ]] || fail "fwload-cli --list through libftdi1 printed: $listing"
# Installed by dpkg into a throw-away root: the man page reads, and an upgrade keeps the settings
# a technician edited (a conffile).
target="$work/target"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
install_deb() { dpkg --root="$target" --force-depends --force-not-root --log=/dev/null -i "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; return 1; }; }
# The layout before the cli package: one cardprinter-suite 1.0.0-1 with every program and the settings.
dpkg-deb -R "$main" "$work/previous"
dpkg-deb -x "$cli" "$work/previous"
sed -i 's/^Version: .*/Version: 1.0.0-1/; /^Depends:/d' "$work/previous/DEBIAN/control"
echo /etc/cardprinter-suite/fwload.ini > "$work/previous/DEBIAN/conffiles"
dpkg-deb --root-owner-group -b "$work/previous" "$work/previous.deb" >/dev/null
install_deb "$work/previous.deb" "$sim"
echo "[Edited by a technician]" >> "$target/etc/cardprinter-suite/fwload.ini"
install_deb "$main" "$cli" || fail "the cli and window packages do not install over the layout before them"
grep -q "Edited by a technician" "$target/etc/cardprinter-suite/fwload.ini" || fail "the upgrade lost the edited fwload.ini"
[[ -x "$target/usr/lib/cardprinter-suite/fwload-cli" && -x "$target/usr/lib/cardprinter-suite/fwload" ]] ||
    fail "the upgrade lost a program"
# Both man pages in the order man(7) gives the sections.
for page in fwload-cli cardprinter-sim; do
    sections=$(MANPAGER=cat MANWIDTH=100 man -l "$target/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -E '^[A-Z][A-Z ]+$' | tr '\n' ' ')
    case $page in
        fwload-cli) expected="NAME SYNOPSIS DESCRIPTION OPTIONS FLASHING STATION ENVIRONMENT FILES EXAMPLES SEE ALSO " ;;
        cardprinter-sim) expected="NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES EXAMPLES SEE ALSO " ;;
    esac
    [[ "$sections" == "$expected" ]] || fail "man $page: sections $sections"
done
MANPAGER=cat man -l "$target/usr/share/man/man1/cardprinter-sim.1.gz" 2>/dev/null | grep -q -E '^ +cardprinter-sim make-demo-firmware demo.bin$' ||
    fail "man cardprinter-sim: an example runs into the next"
if MANPAGER=cat man -l "$target/usr/share/man/man1/fwload-cli.1.gz" 2>/dev/null | grep -q "LD_LIBRARY_PATH=/usr/lib/cardprinter-suite-sim"; then
    fail "man fwload-cli points LD_LIBRARY_PATH at the virtual printer"
fi
listing=$(env LD_LIBRARY_PATH="$target/usr/lib/cardprinter-suite-sim" FWSIM_DEVICES="CARD PRINTER" \
          "$target/usr/lib/cardprinter-suite/fwload-cli" --list)
[[ "$listing" == $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' ]] || fail "installed fwload-cli --list printed: $listing"
# The apt repository: the cli package resolves from it, as a line PC would install it.
"$(dirname "$0")/../../packaging/apt-repository" "$work/apt" "$work"/out/*.deb
mkdir -p "$work/apt-lists/partial" "$work/apt-cache/archives/partial"
echo "deb [trusted=yes] file:$work/apt ./" > "$work/sources.list"
apt_options=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=- -o Dir::State::lists="$work/apt-lists"
             -o Dir::Cache="$work/apt-cache" -o Debug::NoLocking=1 -o APT::Get::List-Cleanup=0)
apt-get "${apt_options[@]}" -qq update >/dev/null 2>&1 || fail "apt-get update from the repository"
resolved=$(apt-get "${apt_options[@]}" -s install cardprinter-suite-cli 2>&1) || fail "apt-get -s install: $resolved"
[[ "$resolved" == *"Inst cardprinter-suite-cli "* || "$resolved" == *"cardprinter-suite-cli is already the newest"* ]] ||
    fail "apt-get -s install cardprinter-suite-cli: $resolved"
depends=$(apt-cache "${apt_options[@]}" depends cardprinter-suite-cli 2>&1)
[[ "$depends" != *qt* && "$depends" != *libx11* ]] || fail "apt-cache depends cardprinter-suite-cli: $depends"
echo "package checks passed"
