#!/usr/bin/env bash
# fwload-cli.exe under Wine against the virtual printer's Windows DLLs: one Ctrl-C, and three in
# quick succession, during the data stage each end the download with "Stopped by the user." and
# exit code 130.
#     ctrl-c-under-wine.sh FWLOAD-CLI.EXE INI MAKE-DEMO-FIRMWARE.EXE   (WINEPREFIX, WINEPATH set)
set -u
source "$(dirname "$0")/../../support/wine.sh"
cli=$1 ini=$2 maker=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FWSIM_STATE_DIR=$work/printer FWSIM_RESTART_CALLS=0 FWSIM_WRITE_MS=5
wine "$maker" "Z:$work/demo.bin" >/dev/null 2>&1
# A copy under a name of its own, so that the Ctrl-C reaches this process only.
cp "$cli" "$work/ctrlc-fwload-cli.exe"
source "$(dirname "$0")/../../support/checks.sh"
for presses in 1 3; do
    wine "$work/ctrlc-fwload-cli.exe" --ini "Z:$ini" -m KX-4700 "Z:$work/demo.bin" >"$work/out" 2>&1 </dev/null &
    runner=$!
    for _ in $(seq 1 300); do grep -q "Downloading" "$work/out" && break; sleep 0.1; done
    for _ in $(seq 1 "$presses"); do pkill -INT -f 'ctrlc-fwload-cli\.exe'; sleep 0.15; done
    wait "$runner"
    status=$?
    last=$(tr -d '\r' <"$work/out" | tail -n 1)
    check_equal "$presses Ctrl-C: the exit code" 130 "$status"
    check_equal "$presses Ctrl-C: the last line" "Stopped by the user." "${last% Took *}"
done
checks_passed
