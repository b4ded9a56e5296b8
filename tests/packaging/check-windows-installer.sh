#!/usr/bin/env bash
# The Windows installer under Wine, as a user would run it silently: it installs the programs and
# the Start-menu shortcuts, the installed fwload-cli runs, an upgrade keeps an edited fwload.ini,
# and the uninstaller leaves nothing behind but that edited file. Run as a technician runs it, its
# last page names what a real printer needs and whether this PC has it.
#     check-windows-installer.sh SETUP.EXE VERSION [WINDOW-DRIVER.EXE]     (WINEPREFIX set)
set -u
source "$(dirname "$0")/../support/wine.sh"
setup=$1 version=$2 driver=${3:-}
dir="$WINEPREFIX/drive_c/Program Files/Card Printer Suite"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Card Printer Suite"
source "$(dirname "$0")/../support/checks.sh"
install() { wine "$setup" /S </dev/null >/dev/null 2>&1; }
# The uninstaller copies itself away and returns at once: wait for it to have finished.
uninstall() {
    wine "$dir/uninstall.exe" /S </dev/null >/dev/null 2>&1
    for _ in $(seq 1 100); do
        [[ -e "$dir/uninstall.exe" ]] || break
        sleep 0.2
    done
    sleep 0.5
}
view=/reg:64
if [[ "$setup" == *win32* ]]; then  # a 32-bit installer on 64-bit Windows goes through WOW64
    view=/reg:32
    dir="$WINEPREFIX/drive_c/Program Files (x86)/Card Printer Suite"
fi
registered() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\CardPrinterSuite' $view >/dev/null 2>&1
}

rm -rf "$dir" "$menu"
install
check "the programs are installed" test -f "$dir/fwload.exe" -a -f "$dir/fwload-cli.exe" -a -f "$dir/fwload-station.exe" \
    -a -f "$dir/sensorpos.exe" -a -f "$dir/ribboncap.exe" -a -f "$dir/ribbonsense.exe" -a -f "$dir/fwload.ini" \
    -a -f "$dir/README-Windows.txt"
check "the windows are in the Start menu" test -f "$menu/Firmware Download.lnk" -a -f "$menu/Flashing Station.lnk" \
    -a -f "$menu/Sensor Position.lnk" -a -f "$menu/Ribbon Capacity.lnk" -a -f "$menu/Ribbon Sensor.lnk"
check "the uninstaller is registered" registered
cli_version=$(wine "$dir/fwload-cli.exe" --version </dev/null 2>/dev/null | tr -d '\r')
check_equal "the installed fwload-cli's version" "fwload-cli $version" "$cli_version"
# The virtual printer's zip starts the installed programs against its DLLs.
sim=$(mktemp -d)
unzip -q "$(dirname "$setup")/$(basename "${setup%-setup.exe}" | sed 's/^cardprinter-suite-/cardprinter-suite-sim-/').zip" -d "$sim"
check_equal "the installed fwload-cli through the virtual printer's launcher" \
    $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' \
    "$(FWSIM_STATE_DIR= wine cmd /c "Z:$(echo "$sim"/*/"Run with virtual printer.cmd")" fwload-cli.exe --list </dev/null 2>/dev/null | tr -d '\r')"
rm -rf "$sim"

# Clicked through: the last page says what was found (a D2XX library beside the programs, no SDK).
if [[ -n "$driver" ]]; then
    : > "$dir/ftd2xx.dll"
    wine "$setup" </dev/null >/dev/null 2>&1 &
    setup_pid=$!
    page=$(wine "$driver" wizard "Card Printer Suite $version Setup" "To serve a real printer" </dev/null 2>/dev/null | tr -d '\r')
    # Closed by the driver; should it have failed, not left waiting for a click.
    for _ in $(seq 1 50); do kill -0 $setup_pid 2>/dev/null || break; sleep 0.2; done
    kill $setup_pid 2>/dev/null
    wait
    folder='C:\Program Files\Card Printer Suite'
    [[ "$setup" == *win32* ]] && folder='C:\Program Files (x86)\Card Printer Suite'
    check_equal "the prerequisites page's findings" \
        "FTDI's D2XX driver: found ($folder\ftd2xx.dll).
The maker's SDK: neither KX4700.DLL nor CRDPRT.DLL was found; the tools need one of them." \
        "$(grep -E "^(FTDI's D2XX driver|The maker's SDK):" <<<"$page")"
    check "the prerequisites page names the driver and the SDK DLLs" \
        grep -q "2. The printer maker's SDK DLLs (KX4700.DLL or CRDPRT.DLL)" <<<"$page"
    rm -f "$dir/ftd2xx.dll"
fi

# Untouched settings go with the uninstall.
uninstall
check "an unedited install leaves nothing" test ! -e "$dir"
check "the Start-menu folder is gone" test ! -e "$menu"
check "the uninstaller is no longer registered" eval '! registered'

# Edited settings survive an upgrade and the uninstall.
install
sleep 1.1  # a later time of change than the installer gave the file
printf '[KX-9000]\r\n1=T,R,LEFT,EDITED\r\n' > "$dir/fwload.ini"
install
check "an upgrade keeps the edited fwload.ini" grep -q EDITED "$dir/fwload.ini"
uninstall
check "the uninstall leaves only the edited fwload.ini" test "$(ls "$dir" 2>/dev/null)" = fwload.ini
rm -rf "$dir"
checks_passed
