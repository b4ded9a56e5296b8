#!/usr/bin/env bash
# scripts/ensure-packages against a fake dpkg-query, apt-get and fuser: what counts as installed, the
# wait for another package manager's lock, a package list that cannot be refreshed, a failed install,
# and a 32-bit package on a machine that cannot run 32-bit programs.
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
printf '#!/bin/sh\n[ "$FAKE_RUNS_32_BIT" = yes ]\n' > "$fake/runs-32-bit-x86"
# dpkg knows i386 already: nothing to add.
printf '#!/bin/sh\ncase $1 in --print-architecture) echo amd64 ;; --print-foreign-architectures) echo i386 ;; *) echo "dpkg $*" ;; esac\n' > "$fake/dpkg"
chmod +x "$fake"/*

passed=0
failed=0
fetch="E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 127.0.0.1 80]"
# options | package | runs 32-bit | status | lock held | update | install | expected exit | expected last line | apt-get calls
while IFS='|' read -r options package runs32 status locked update install code output calls; do
    : > "$fake/log"
    # shellcheck disable=SC2086 # the options are words
    actual=$(FAKE_STATUS=$status FAKE_LOCKED=$locked FAKE_UPDATE=$update FAKE_INSTALL=$install FAKE_LOG=$fake/log \
        FAKE_RUNS_32_BIT=$runs32 SUITE_32_BIT_PROBE=$fake/runs-32-bit-x86 \
        APT_LOCK_WAIT_SECONDS=0 APT_RETRY_SECONDS=0 PATH="$fake:/usr/bin:/bin" "$script" $options "$package" 2>&1)
    rc=$?
    output=${output//@FETCH@/$fetch}
    output=${output//@SKIP32@/"Not installing the optional wine32:i386: this machine cannot run 32-bit x86 programs; the checks that need it report themselves skipped."}
    seen=$(tr '\n' ' ' < "$fake/log")
    if [[ $rc == "$code" && "$(tail -n 1 <<< "$actual")" == "$output" && "${seen% }" == "$calls" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s %s (32-bit: %s) status %q, lock %s, update %s, install %s: exit %s, apt-get calls "%s", output:\n%s\n' \
            "$options" "$package" "$runs32" "$status" "$locked" "$update" "$install" "$rc" "${seen% }" "$actual"
    fi
done <<'ROWS'
|somepackage|yes|install ok installed|no|ok|ok|0||
|somepackage|yes|install ok triggers-pending|no|ok|ok|0||
|somepackage|yes|install ok triggers-awaited|no|ok|ok|0||
|somepackage|yes|deinstall ok config-files|no|ok|ok|0|Installing: somepackage|apt-get update apt-get install
|somepackage|yes||no|ok|ok|0|Installing: somepackage|apt-get update apt-get install
|somepackage|yes||yes|ok|ok|1|Let it finish (or stop it), then run this again. Missing: somepackage|
|somepackage|yes||no|once|ok|0|Installing: somepackage|apt-get update apt-get update apt-get install
|somepackage|yes||no|fails|ok|0|apt-get update failed, installing from the package lists apt has: @FETCH@|apt-get update apt-get update apt-get install
|somepackage|yes||no|fails|fails|1|Could not install: somepackage|apt-get update apt-get update apt-get install
|somepackage|yes||no|ok|fails|1|Could not install: somepackage|apt-get update apt-get install
--optional|somepackage|yes||no|fails|fails|0|Could not install the optional somepackage: the checks that need it report themselves skipped.|apt-get update apt-get update apt-get install
--optional|somepackage|yes|install ok installed|no|ok|ok|0||
--optional|wine32:i386|no||no|ok|ok|0|@SKIP32@|
|wine32:i386|no||no|ok|ok|1|Cannot install wine32:i386: this machine cannot run 32-bit x86 programs.|
--optional|wine32:i386|yes||no|ok|ok|0|Installing: wine32:i386|apt-get update apt-get install
ROWS
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
