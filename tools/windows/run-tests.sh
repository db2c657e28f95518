#!/usr/bin/env bash
# Runs every test program of a Windows build under Wine (through CTest and wine-run.sh) and
# prints a summary: the programs built, the test functions passed, failed and skipped, the reason
# of every skip, and what the long-path test reached.
#   run-tests.sh <build dir>
set -euo pipefail
build=$(cd "$1" && pwd)
log=$build/windows-tests.log

status=0
ctest --preset windows-mingw >"$log" 2>&1 || status=$?

programs=$(find "$build/bin" "$build/tests" -maxdepth 1 -name '*.exe' | wc -l)
# What the test programs printed, as CTest passed it on ("<test number>: " before each line; a
# failed test's output is repeated without it, and is not counted twice).
output=$(sed -nE 's/^[0-9]+: //p' "$log")
read -r passed failed skipped < <(grep -oE 'Totals: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' <<<"$output" |
    awk '{ p += $2; f += $4; s += $6 } END { print p + 0, f + 0, s + 0 }')
ctest_line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" || true)

if [ $status -ne 0 ]; then
    grep -E -B2 -A8 '^FAIL!|Test failed|\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Not Run' "$log" | tail -n 120 >&2 || true
    echo "windows tests: FAILED (the whole output is in $log)" >&2
fi
echo "windows: $programs programs built; CTest: ${ctest_line:-no summary}"
if [ "$skipped" -gt 0 ]; then
    echo "windows: skipped, with the reasons given:"
    grep -E '^SKIP   :' <<<"$output" | sed -E 's/^SKIP   : /  /' | sort | uniq
fi
grep -E '^QINFO  : RunTest::longPaths' <<<"$output" | sed -E 's/^QINFO  : [^ ]+ /windows: /' || true
echo "windows: $passed passed, $failed failed, $skipped skipped"
exit $status
