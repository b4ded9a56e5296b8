# The shell tests' checks, sourced: each prints "ok: WHAT" or "FAIL: WHAT" with what was seen, and
# counts the failures; end a test with `checks_passed`.
failures=0

# check WHAT COMMAND...: the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

# check_equal WHAT EXPECTED ACTUAL
check_equal() {
    if [[ "$2" == "$3" ]]; then
        echo "ok: $1"
    else
        printf 'FAIL: %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

checks_passed() { [[ $failures -eq 0 ]]; }
