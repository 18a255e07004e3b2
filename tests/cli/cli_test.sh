#!/usr/bin/env bash
# Drives velmar-cli as a script would: exit statuses and messages.
set -u
cli="$1"
fail=0; pass=0
check() { # description, expected status, command...
    local what="$1" want="$2"; shift 2
    "$@" >/tmp/velmar-cli-out.$$ 2>/tmp/velmar-cli-err.$$
    local got=$?
    if [ "$got" = "$want" ]; then pass=$((pass+1)); else
        fail=$((fail+1)); echo "FAIL: $what: exit $got, expected $want"; cat /tmp/velmar-cli-err.$$; fi
}
check "--version" 0 "$cli" --version
grep -q '^velmar-cli 1\.9' /tmp/velmar-cli-out.$$ || { fail=$((fail+1)); echo "FAIL: --version text"; }
check "--help" 0 "$cli" --help
grep -q 'Usage: velmar-cli' /tmp/velmar-cli-out.$$ || { fail=$((fail+1)); echo "FAIL: --help text"; }
check "no arguments" 1 "$cli"
check "unknown operation" 1 "$cli" frobnicate
grep -q 'unknown operation: frobnicate' /tmp/velmar-cli-err.$$ || { fail=$((fail+1)); echo "FAIL: unknown-op message"; }
rm -f /tmp/velmar-cli-out.$$ /tmp/velmar-cli-err.$$
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
