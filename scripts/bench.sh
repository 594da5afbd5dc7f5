#!/usr/bin/env bash
# Measures what each tarvex command costs a post, through the real Tcl
# interpreter, and prints Google Benchmark's lines followed by a table of
# medians and ratios (docs/performance.md explains it).
#   scripts/bench.sh [BENCHMARK OPTIONS...]
# e.g. scripts/bench.sh --benchmark_filter=ini   to run the INI rows only.
# Installs tcllib (the pure-Tcl INI reader it compares against) when it is
# missing and this runs as root; builds preset "bench" (Release) first.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! echo 'package require inifile; exit 0' | tclsh >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
        echo "bench: installing tcllib" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q tcllib >&2 ||
            { apt-get update -q >&2 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q tcllib >&2; }
    else
        echo "bench: tcllib is missing; install it (apt-get install tcllib) and run again" >&2
        exit 1
    fi
fi

cmake --preset bench >/dev/null
cmake --build --preset bench
exec build/bench/bench/tarvex_bench --benchmark_color=false "$@"
