#!/usr/bin/env bash
# From a fresh clone to the demo: installs what the build needs (as root,
# on Debian 12, only the packages that are missing), builds the default
# preset's plug-in and momsim, posts the demo part with examples/demo_post.tcl
# in momsim with the scripted answers, and shows the NC file, what the user
# was shown and what the run stamped onto the part; then posts it again with
# examples/template_post/mill3.tcl, a post written the host's way (event
# file and definition file), and shows that NC file too.
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
# Shows a command line exactly as it is run, then runs it.
run_shown() {
    echo
    echo "=== $(printf '%q ' "$@")"
    "$@"
}
# The command line the demo runs, shown exactly as it is run.
command=("$momsim" --load tarvex --post --part examples/demo_part.json
    --answers examples/demo_answers.txt --output "$out/output/bracket.ptp"
    --transcript "$out/transcript.jsonl" --save "$out/part.json" --syslog "$out/system.log"
    examples/demo_post.tcl)
status=0
run_shown "${command[@]}" || status=$?
echo
echo "=== the NC file the post wrote ($out/output/bracket.ptp)"
cat "$out/output/bracket.ptp"
echo
echo "=== the listing beside it ($out/output/bracket.lpt)"
cat "$out/output/bracket.lpt"
echo
echo "=== the host's system log ($out/system.log)"
cat "$out/system.log"
echo
echo "=== what momsim recorded"
"$momsim" --quiet scripts/demo_report.tcl "$out/transcript.jsonl" "$out/part.json" examples/demo_part.json \
    "$out/output/bracket.ptp"

# The same part through a post written the host's way: an event file, its
# definition file beside it, and the shop's base file in the folder that
# UGII_CAM_POST_DIR names.
mkdir -p "$out/template"
template_status=0
run_shown "$momsim" --post --part examples/demo_part.json --env UGII_CAM_POST_DIR=examples/template_post/common/ \
    --output "$out/template/bracket.ptp" examples/template_post/mill3.tcl || template_status=$?
echo
echo "=== the NC file of the template post ($out/template/bracket.ptp, formats and blocks from mill3.def)"
cat "$out/template/bracket.ptp"
echo
if [ $status -eq 0 ]; then status=$template_status; fi
if [ $status -ne 0 ]; then
    echo "demo.sh: the demo ended with exit status $status" >&2
    exit $status
fi
echo "=== done: the demo ran with exit status 0"
