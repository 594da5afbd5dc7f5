#!/usr/bin/env bash
# Builds every configuration and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default
cmake --build --preset default
ctest --preset default
