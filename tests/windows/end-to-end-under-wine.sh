#!/usr/bin/env bash
# The real Windows programs under Wine on a display, against the virtual printer's Windows DLLs,
# driven from outside by window_driver: fwload downloads the demo firmware (its status texts, the
# image in the printer) and each tool's buttons give their exact texts. Every program starts in a
# folder where DLLs of the libraries' names are planted: the ones on PATH must be loaded instead.
#     end-to-end-under-wine.sh BUILD-DIR     (WINEPREFIX and DISPLAY set)
set -u
source "$(dirname "$0")/../support/wine.sh"
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPATH="Z:$build/sim" FWSIM_STATE_DIR=$work/printer FWSIM_RESTART_CALLS=0 FWSIM_WRITE_MS=5
driver=$build/tests/windows/window_driver.exe
source "$(dirname "$0")/../support/checks.sh"
here=$work/started-here
mkdir -p "$here"
for name in ftd2xx.dll crdprt.dll kx4700.dll riched20.dll; do cp "$build/tests/windows/planted.dll" "$here/$name"; done
export PLANTED_MARK="Z:$work/planted-dll-was-loaded"
cd "$here" || exit 1
# run PROGRAM DRIVER-ARGS...: starts the program, drives it, prints what the driver printed.
run() {
    local program=$1
    shift
    wine "$program" >/dev/null 2>&1 &
    local started=$!
    wine "$driver" "$@" 2>/dev/null
    wait "$started"
}

wine "$build/sim/make-demo-firmware.exe" "Z:$work/demo.bin" >/dev/null 2>&1
statuses=$(run "$build/fwload/download/fwload.exe" fwload KX-4700 "Z:$work/demo.bin" | tr -d '\r')
check_equal "fwload: the last status text" "Status: Initialization complete!!..." "$(tail -n 1 <<<"$statuses")"
check_equal "fwload: the transfer was shown against the whole file" 1 \
    "$(grep -cm1 -E '^Status: Downloading\( [0-9,]+ / 65,554 bytes \)$' <<<"$statuses")"
check_equal "fwload: the image is in the printer" "$(tail -c +19 "$work/demo.bin" | head -c 65536 | md5sum)" \
    "$(head -c 65536 "$work/printer/image.bin" | md5sum)"

check_equal "sensorpos: Get" $'OpenDevice - OK \r\nGetSensor - OK \r\nCloseDeivce - OK \r\n|' \
    "$(run "$build/tools/win32/sensorpos.exe" dialog sensorpos 1000 1007)"
check_equal "ribboncap: start-up" "Open - Success|" "$(run "$build/tools/win32/ribboncap.exe" dialog ribboncap 1004)"
sense=$(run "$build/tools/win32/ribbonsense.exe" dialog ribbonsense 1000 1001 | sed -E 's/\[[0-9]+:[0-9]+:[0-9]+\]/[T]/g')
check_equal "ribbonsense: Check Ribbon Sensor" \
    $'[T] OpenDevice - Ok \r\n[T] GetRibbonSensorEx - success \r\n[T] [100/100]Ribbon Sensor [555][560] \r\n|' \
    "$sense"
check_equal "fwload-cli: the D2XX library from PATH" $'0\t"CARD PRINTER"\tFWSIM1000\tcard printer\t1-1' \
    "$(wine "$build/fwload/cli/fwload-cli.exe" --list 2>/dev/null | tr -d '\r')"
check "no program loaded a DLL planted in the folder it started from" test ! -e "$work/planted-dll-was-loaded"
checks_passed
