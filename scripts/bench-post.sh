#!/usr/bin/env bash
# Posting speed: momsim --post posts one operation of N linear moves (default
# 100000) through a post whose MOM_linear_move formats one block and writes
# it with MOM_output_literal, against plain tclsh running a loop that sets
# the same variables and calls the same procedure, writing to a file.
# Prints the best of R runs (default 5) of each, in seconds, and the ratio.
#   scripts/bench-post.sh [N [R]]
# Needs a built momsim (preset default) and tclsh 8.6. Its files live in a
# folder under /tmp that the run removes.
set -euo pipefail
cd "$(dirname "$0")/.."
moves=${1:-100000}
runs=${2:-5}
momsim=build/default/momsim
[ -x "$momsim" ] || { cmake --preset default >/dev/null && cmake --build --preset default --target momsim tarvex; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The part: one operation whose path holds the moves.
awk -v n="$moves" 'BEGIN {
    print "{\"objects\": ["
    print "  {\"tag\": 10, \"kind\": \"setup\", \"program_root\": 20},"
    print "  {\"tag\": 20, \"kind\": \"program_group\", \"name\": \"NC_PROGRAM\", \"members\": [31]},"
    print "  {\"tag\": 31, \"kind\": \"operation\", \"name\": \"BENCH\", \"tool\": {\"name\": \"EM10\", \"number\": 1}, \"path\": ["
    for (i = 0; i < n; i++)
        printf "{\"motion\": \"linear\", \"pos\": [%s, %s, -2.0], \"feed\": 1200}%s\n", (i % 1000) * 0.125, int(i / 1000) * 0.5, (i < n - 1 ? "," : "")
    print "]}]}"
}' > "$work/part.json"

# The post's motion event, the same text for both.
cat > "$work/event.tcl" <<'TCL'
proc MOM_linear_move {} {
    global mom_pos mom_feed_rate
    MOM_output_literal [format "G1 X%.3f Y%.3f Z%.3f F%.0f" $mom_pos(0) $mom_pos(1) $mom_pos(2) $mom_feed_rate]
}
TCL

# The plain loop: the same variables, the same procedure, writing to a file.
cat > "$work/loop.tcl" <<TCL
set nc [open $work/loop.ptp w]
proc MOM_output_literal {text} { puts \$::nc \$text }
source $work/event.tcl
for {set i 0} {\$i < $moves} {incr i} {
    set mom_pos(0) [expr {\$i % 1000 * 0.125}]
    set mom_pos(1) [expr {\$i / 1000 * 0.5}]
    set mom_pos(2) -2.0
    set mom_feed_rate 1200.0
    MOM_linear_move
}
close \$nc
TCL

best() {  # best wall time of $runs runs of the command, in seconds
    local best=
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        best=$(echo "$start $end ${best:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
    done
    echo "$best"
}

post=$(best "$momsim" --quiet --post --part "$work/part.json" --output "$work/post.ptp" "$work/event.tcl")
loop=$(best tclsh "$work/loop.tcl")
[ "$(wc -l < "$work/post.ptp")" -eq "$moves" ] || { echo "bench-post: momsim wrote $(wc -l < "$work/post.ptp") blocks, not $moves" >&2; exit 1; }
cmp -s "$work/post.ptp" "$work/loop.ptp" || { echo "bench-post: momsim and the loop wrote different files" >&2; exit 1; }
echo "moves: $moves, best of $runs runs, wall-clock seconds"
echo "momsim --post (part file read, posted, NC written): $post"
echo "tclsh loop (variables set, event called, file written): $loop"
echo "ratio: $(echo "$post $loop" | awk '{printf "%.2f", $1 / $2}')"
