# The shell tests' checks, sourced: each prints "ok: WHAT", "FAIL: WHAT" with what was seen, or
# "skipped: WHAT (why)", and counts them; end a test with `checks_passed`, which prints the tally.
passes=0
failures=0
skips=0

# check WHAT COMMAND...: the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
        passes=$((passes + 1))
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

# check_equal WHAT EXPECTED ACTUAL
check_equal() {
    if [[ "$2" == "$3" ]]; then
        echo "ok: $1"
        passes=$((passes + 1))
    else
        printf 'FAIL: %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

# skip WHAT WHY: a check that cannot run on this machine, never counted as passed.
skip() {
    echo "skipped: $1 ($2)"
    skips=$((skips + 1))
}

checks_passed() {
    echo "$passes passed, $failures failed$( ((skips == 0)) || echo ", $skips skipped")"
    [[ $failures -eq 0 ]]
}
