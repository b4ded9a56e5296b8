#!/usr/bin/env bash
# fwload-cli.exe station under Wine against the virtual printer's Windows DLLs: three printers
# flashed by worker processes, a record each; then Ctrl-C with two printers mid-download stops both
# runs, records both attempts, and exits with 130.
#     station-under-wine.sh FWLOAD-CLI.EXE INI MAKE-DEMO-FIRMWARE.EXE   (WINEPREFIX, WINEPATH set)
set -u
source "$(dirname "$0")/../../support/wine.sh"
cli=$1 ini=$2 maker=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FWSIM_RESTART_CALLS=0 FWSIM_WRITE_MS=5
wine "$maker" "Z:$work/demo.bin" >/dev/null 2>&1
# A copy under a name of its own, so that the Ctrl-C reaches this station only.
cp "$cli" "$work/station-fwload-cli.exe"
source "$(dirname "$0")/../../support/checks.sh"
records() { tr -d '\r' <"$work/log.jsonl" | grep -o "\"$1\":\"[^\"]*\"" | sort | tr '\n' ' '; }

FWSIM_STATE_DIR=$work/three FWSIM_DEVICES="CARD PRINTER;CARD PRINTER;CARD PRINTER" \
    wine "$work/station-fwload-cli.exe" station --ini "Z:$ini" -m KX-4700 --count 3 --log "Z:$work/log.jsonl" \
    "Z:$work/demo.bin" >"$work/out" 2>&1 </dev/null
check_equal "three printers: the exit code" 0 "$?"
check_equal "three printers: the summary" "Station: 3 passed, 0 failed." "$(tr -d '\r' <"$work/out" | tail -n 1)"
check_equal "three printers: a record each" '"serial":"FWSIM1000" "serial":"FWSIM1001" "serial":"FWSIM1002" ' \
    "$(records serial)"

rm -f "$work/log.jsonl"
FWSIM_STATE_DIR=$work/two FWSIM_DEVICES="CARD PRINTER;CARD PRINTER" FWSIM_LATENCY_MS=4 \
    wine "$work/station-fwload-cli.exe" station --ini "Z:$ini" -m KX-4700 --log "Z:$work/log.jsonl" \
    "Z:$work/demo.bin" >"$work/out" 2>&1 </dev/null &
station=$!
for _ in $(seq 1 300); do [[ $(grep -c ": data" "$work/out") == 2 ]] && break; sleep 0.1; done
pkill -INT -f 'station-fwload-cli\.exe station'
wait "$station"
check_equal "Ctrl-C: the exit code" 130 "$?"
check_equal "Ctrl-C: both attempts stopped" '"outcome":"stopped" "outcome":"stopped" ' "$(records outcome)"
checks_passed
