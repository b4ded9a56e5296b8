#!/usr/bin/env bash
# The Windows suite's Wine on a machine that cannot run 32-bit programs, against a fake Wine whose
# Debian `wine` fails as an installed but unrunnable 32-bit Wine does: every 64-bit program still
# goes through the 64-bit loader, and the 32-bit smoke test skips itself and says why.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/support/checks.sh"
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
printf '#!/bin/sh\necho "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2\nexit 2\n' > "$fake/wine"
printf '#!/bin/sh\necho "64-bit loader${FAKE_PID:+ $$}: $*"\n' > "$fake/wine64"
printf '#!/bin/sh\nexit 1\n' > "$fake/cannot-run-32-bit"
printf '#!/bin/sh\nexit 0\n' > "$fake/runs-32-bit"
printf '#!/bin/sh\nprintf "%%s" "$FAKE_STATUS"\n' > "$fake/dpkg-query"
chmod +x "$fake"/*
mkdir "$fake/build"
run() { PATH="$fake:/usr/bin:/bin" "$@" 2>&1; }

check_equal "the in-process test runner" "64-bit loader: tests.exe --gtest_list_tests" \
    "$(run "$root/scripts/wine-run" tests.exe --gtest_list_tests)"
check_equal "a script's wine" "64-bit loader: fwload-cli.exe --list" \
    "$(run bash -c "source '$root/tests/support/wine.sh'; wine fwload-cli.exe --list")"
# (A test kills or waits for $! of `wine PROGRAM &`: that must be the loader itself.)
check "a script's wine in the background is the loader's own process" \
    grep -qx '\([0-9]*\) 64-bit loader \1: installer.exe' <<< "$(FAKE_PID=yes run bash -c \
        "source '$root/tests/support/wine.sh'; wine installer.exe > '$fake/out' & echo -n \"\$! \"; wait; cat '$fake/out'")"
# The scripts that start Windows programs all take their wine from wine.sh.
unsourced=$(cd "$root" && grep -l -E '^\s*[^#]*\bwine ' $(git ls-files 'tests/*.sh') | xargs grep -L 'support/wine.sh' |
    grep -v -E 'smoke-win32.sh|wine-loader-test.sh')
check_equal "every script that runs wine sources wine.sh" "" "$unsourced"

# smoke-win32 with the machine unable, then able but without 32-bit Wine.
while IFS='|' read -r probe status reason; do
    output=$(FAKE_STATUS=$status SUITE_32_BIT_PROBE=$fake/$probe run "$root/tests/fwload/cli/smoke-win32.sh" "$fake/build")
    check_equal "smoke-win32, $probe, $status: skipped" "skipped: the 32-bit build under 32-bit Wine ($reason)|0 passed, 0 failed, 1 skipped" \
        "$(tr '\n' '|' <<< "$output" | sed 's/|$//')"
done <<'ROWS'
cannot-run-32-bit|install ok installed|this machine cannot run 32-bit x86 programs
runs-32-bit||32-bit Wine, wine32:i386, is not installed
ROWS
checks_passed
