#!/usr/bin/env bash
# Sets the machine up, builds every preset and runs every test: the native tests, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows test program under wine64.
# The i686 Windows build is compiled (its layouts are checked at compile time).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

"$top/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }

jobs=$(nproc)
# The compiler cache keys on paths relative to the checkout, so another clone of the same tree
# (CI's fresh one) reuses what an earlier build compiled.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$top} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
passed=0 failed=0 status=0
summary=()

step() { # name, command...
    local name=$1; shift
    local t0=$SECONDS
    echo "=== $name" >&2
    if "$@"; then
        summary+=("$name: ok ($((SECONDS - t0)) s)")
    else
        summary+=("$name: FAILED ($((SECONDS - t0)) s)")
        status=1
        return 1
    fi
}

# Runs a ctest preset and adds its counts to the totals.
run_ctest() { # preset [wrapper...]
    local preset=$1; shift
    local log
    log=$(mktemp)
    "$@" ctest --preset "$preset" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        local total fail
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
        fail=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
        passed=$((passed + total - fail))
        failed=$((failed + fail))
    else
        failed=$((failed + 1))
    fi
    # gtest counts inside the single Wine test entry, for the record.
    grep -E '^\[  (PASSED|FAILED)  \] [0-9]+ test' "$log" >&2 || true
    rm -f "$log"
    return "$rc"
}

build() { # preset
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

step "format check" ./scripts/format-check.sh
step "linux build" build linux && step "linux tests" run_ctest linux
step "sanitizer build" build linux-asan && step "sanitizer tests" run_ctest linux-asan
wrap=()
command -v xvfb-run >/dev/null && wrap=(xvfb-run -a)
step "fuzz build" build fuzz && step "fuzz runs" run_ctest fuzz
step "windows build" build windows && step "windows tests (wine64)" run_ctest windows "${wrap[@]}"
step "windows i686 build" build windows-i686

echo
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
exit $status
