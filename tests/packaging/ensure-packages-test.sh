#!/usr/bin/env bash
# scripts/ensure-packages against a fake dpkg-query, apt-get and fuser: what counts as installed, the
# wait for another package manager's lock, a package list that cannot be refreshed, a failed install.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/ensure-packages
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
cat > "$fake/dpkg-query" <<'FAKE'
#!/bin/sh
printf '%s' "$FAKE_STATUS"
FAKE
# FAKE_UPDATE: ok, once (fails the first time) or fails; FAKE_INSTALL: ok or fails.
cat > "$fake/apt-get" <<'FAKE'
#!/bin/sh
for word in "$@"; do
    case $word in update | install) command=$word ;; esac
done
echo "apt-get $command" >> "$FAKE_LOG"
if [ "$command" = update ]; then
    tries=$(grep -c update "$FAKE_LOG")
    if [ "$FAKE_UPDATE" = fails ] || { [ "$FAKE_UPDATE" = once ] && [ "$tries" = 1 ]; }; then
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 127.0.0.1 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
    fi
elif [ "$FAKE_INSTALL" = fails ]; then
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
fi
FAKE
cat > "$fake/fuser" <<'FAKE'
#!/bin/sh
[ "$FAKE_LOCKED" = yes ]
FAKE
printf '#!/bin/sh\necho 0\n' > "$fake/id"  # as root: no sudo
chmod +x "$fake"/*

passed=0
failed=0
fetch="E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 127.0.0.1 80]"
# options | status | lock held | update | install | expected exit | expected last line | apt-get calls
while IFS='|' read -r options status locked update install code output calls; do
    : > "$fake/log"
    # shellcheck disable=SC2086 # the options are words
    actual=$(FAKE_STATUS=$status FAKE_LOCKED=$locked FAKE_UPDATE=$update FAKE_INSTALL=$install FAKE_LOG=$fake/log \
        APT_LOCK_WAIT_SECONDS=0 APT_RETRY_SECONDS=0 PATH="$fake:/usr/bin:/bin" "$script" $options somepackage 2>&1)
    rc=$?
    output=${output//@FETCH@/$fetch}
    seen=$(tr '\n' ' ' < "$fake/log")
    if [[ $rc == "$code" && "$(tail -n 1 <<< "$actual")" == "$output" && "${seen% }" == "$calls" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s status %q, lock %s, update %s, install %s: exit %s, apt-get calls "%s", output:\n%s\n' \
            "$options" "$status" "$locked" "$update" "$install" "$rc" "${seen% }" "$actual"
    fi
done <<'ROWS'
|install ok installed|no|ok|ok|0||
|install ok triggers-pending|no|ok|ok|0||
|install ok triggers-awaited|no|ok|ok|0||
|deinstall ok config-files|no|ok|ok|0|Installing: somepackage|apt-get update apt-get install
||no|ok|ok|0|Installing: somepackage|apt-get update apt-get install
||yes|ok|ok|1|Let it finish (or stop it), then run this again. Missing: somepackage|
||no|once|ok|0|Installing: somepackage|apt-get update apt-get update apt-get install
||no|fails|ok|0|apt-get update failed, installing from the package lists apt has: @FETCH@|apt-get update apt-get update apt-get install
||no|fails|fails|1|Could not install: somepackage|apt-get update apt-get update apt-get install
||no|ok|fails|1|Could not install: somepackage|apt-get update apt-get install
--optional||no|fails|fails|0|Could not install the optional somepackage: the checks that need it report themselves skipped.|apt-get update apt-get update apt-get install
--optional|install ok installed|no|ok|ok|0||
ROWS
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
