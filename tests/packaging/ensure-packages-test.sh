#!/usr/bin/env bash
# scripts/ensure-packages against a fake dpkg-query, apt-get and fuser: what counts as installed,
# and the wait for another package manager's lock.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/ensure-packages
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
cat > "$fake/dpkg-query" <<'FAKE'
#!/bin/sh
printf '%s' "$FAKE_STATUS"
FAKE
cat > "$fake/apt-get" <<'FAKE'
#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
FAKE
cat > "$fake/fuser" <<'FAKE'
#!/bin/sh
[ "$FAKE_LOCKED" = yes ]
FAKE
printf '#!/bin/sh\necho 0\n' > "$fake/id"  # as root: no sudo
chmod +x "$fake"/*

passed=0
failed=0
# status | lock held | expected exit | expected output (first line) | apt-get called
while IFS='|' read -r status locked code output apt; do
    : > "$fake/log"
    actual=$(FAKE_STATUS=$status FAKE_LOCKED=$locked FAKE_LOG=$fake/log APT_LOCK_WAIT_SECONDS=0 \
        PATH="$fake:/usr/bin:/bin" "$script" somepackage 2>&1)
    rc=$?
    called=$([[ -s "$fake/log" ]] && echo yes || echo no)
    if [[ $rc == "$code" && "$(head -n 1 <<< "$actual")" == "$output" && $called == "$apt" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: status '$status', lock $locked: exit $rc, output '$actual', apt-get called: $called"
    fi
done <<'ROWS'
install ok installed|no|0||no
install ok triggers-pending|no|0||no
install ok triggers-awaited|no|0||no
deinstall ok config-files|no|0|Installing: somepackage|yes
|no|0|Installing: somepackage|yes
|yes|1|Installing: somepackage|no
ROWS
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
