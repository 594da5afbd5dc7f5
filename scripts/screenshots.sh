#!/usr/bin/env bash
# Remakes the pictures of momsim's windows in docs/dialogs/ (shown in
# docs/dialogs.md) on an Xvfb of its own: builds momsim (default preset) and
# runs the demo with --gui, answering each window as demo_answers.txt does.
# Needs xvfb, xdotool and imagemagick (.ci/packages.txt).
#   bash scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target momsim wm_close status_plugin
build/default/momsim --quiet scripts/screenshots.tcl build/default
