#!/usr/bin/env bash
# Builds every configuration and runs its tests:
#   default  Linux, 64-bit, with the Tcl translator
#   win64    tarvex_x64.dll with mingw-w64; the suites run under Wine
#   linux32  Linux, 32-bit (-m32); the suites run under qemu-i386
#   win32    tarvex_x32.dll with mingw-w64; built and checked with objdump
#            (Wine here cannot run 32-bit programs)
#   asan     every suite under AddressSanitizer and UndefinedBehaviorSanitizer
#            but the windows one (label gui), which exercises Tk and Xlib
#            rather than our code
#   valgrind the default build's GoogleTest suites under valgrind memcheck
#   fuzz     the command, part-file and answers fuzzers (clang 14, libFuzzer), 60 seconds each
#   soak     one million calls through the Tcl translator (about 20 s;
#            left out of the presets' own ctest runs by its label)
# Usage: scripts/test.sh [PRESET...]   (all of them when none is given)
# Goes on after a failing configuration and fails at the end if any did.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh || exit 1

if [ $# -gt 0 ]; then
    presets=("$@")
else
    presets=(default soak asan valgrind fuzz win64 linux32 win32)
fi
jobs=$(nproc 2>/dev/null || echo 2)

started=$SECONDS
summary=()
failed=0
for preset in "${presets[@]}"; do
    echo "=== $preset"
    begun=$SECONDS
    case $preset in
    valgrind)
        step() { cmake --preset default && cmake --build --preset default && scripts/valgrind.sh build/default; } ;;
    soak)
        step() { cmake --preset default && cmake --build --preset default &&
            ctest --test-dir build/default -L soak --output-on-failure; } ;;
    *)
        step() { cmake --preset "$preset" && cmake --build --preset "$preset" &&
            ctest --preset "$preset" --parallel "$jobs"; } ;;
    esac
    if step; then
        result=passed
    else
        result=FAILED
        failed=1
    fi
    summary+=("$(printf '%-8s %-6s %4d s' "$preset" "$result" $((SECONDS - begun)))")
done

echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "total    $((SECONDS - started)) s"
exit $failed
