#!/usr/bin/env bash
# From a fresh clone to the demo: installs what the build needs (as root,
# on Debian 12, only the packages that are missing), builds the default
# preset's plug-in and momsim, runs examples/demo_post.tcl in momsim with the scripted answers,
# and shows what the user was shown and what the run stamped onto the part.
# Everything the run writes goes to build/default/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

# The demo needs only the native build.
bash scripts/install-packages.sh native

echo "=== building (preset default)"
cmake --preset default >/dev/null
cmake --build --preset default --target momsim tarvex

out=build/default/demo
rm -rf "$out"
mkdir -p "$out/output"
momsim=build/default/momsim
echo
echo "=== $momsim --load tarvex --answers examples/demo_answers.txt --transcript $out/transcript.jsonl --save $out/part.json examples/demo_post.tcl"
status=0
"$momsim" --load tarvex --answers examples/demo_answers.txt \
    --transcript "$out/transcript.jsonl" --save "$out/part.json" \
    --syslog "$out/system.log" --set "output_file_directory=$out/output" \
    examples/demo_post.tcl || status=$?
echo
echo "=== the host's system log ($out/system.log)"
cat "$out/system.log"
echo
echo "=== what momsim recorded"
"$momsim" scripts/demo_report.tcl "$out/transcript.jsonl" "$out/part.json" examples/demo_part.json
echo
if [ $status -ne 0 ]; then
    echo "demo.sh: the demo ended with exit status $status" >&2
    exit $status
fi
echo "=== done: the demo ran with exit status 0"
