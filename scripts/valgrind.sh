#!/usr/bin/env bash
# Runs every native GoogleTest suite of the default build under valgrind's
# memcheck. Fails on any memory error and on any definite or indirect leak.
# Usage: scripts/valgrind.sh [BUILD_DIR]   (build/default when not given)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
log_dir=$build/valgrind
mkdir -p "$log_dir"

failed=0
count=0
for program in "$build"/tests/*_test "$build"/momsim-build/momsim_unit_test; do
    # The soak (a million calls) has a check of its own.
    case $program in *soak*) continue ;; esac
    [ -x "$program" ] || continue
    name=$(basename "$program")
    count=$((count + 1))
    begun=$SECONDS
    # The suites' children (process_test's) are not ours to check.
    if valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --trace-children=no \
        --log-file="$log_dir/$name.log" "$program" --gtest_brief=1 > "$log_dir/$name.out" 2>&1; then
        result=clean
    else
        result=FAILED
        failed=1
    fi
    summary=$(grep -E "ERROR SUMMARY" "$log_dir/$name.log" | tail -1 | sed 's/^==[0-9]*== //')
    printf '%-24s %-6s %4d s  %s\n' "$name" "$result" $((SECONDS - begun)) "$summary"
done
echo "valgrind: $count suites, logs in $log_dir"
exit $failed
