#!/usr/bin/env bash
# Posting speed, two measurements, each the best of R runs (default 5):
#  1. momsim --post posts one operation of N linear moves (default 100000)
#     through a post whose MOM_linear_move formats one block and writes it
#     with MOM_output_literal, against plain tclsh running a loop that sets
#     the same variables and calls the same procedure, writing to a file.
#  2. A post written the host's way (a definition file: sequence numbers,
#     three block templates, modal addresses) posts M moves (default
#     1000000) spread over 1000 operations, against plain tclsh running a loop
#     that sets the same variables and writes the same lines with format and
#     its own comparison with the last value of each word.
# Prints the seconds of each and the ratios.
#   scripts/bench-post.sh [N [R [M]]]
# Needs a built momsim (preset default) and tclsh 8.6. Its files live in a
# folder under /tmp that the run removes.
set -euo pipefail
cd "$(dirname "$0")/.."
moves=${1:-100000}
runs=${2:-5}
template_moves=${3:-1000000}
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

# --- 2. the template post ------------------------------------------------------
# 1000 operations by default (a part of long operations loads slowly, see
# docs/performance.md); every move's numbers are at least 1 in size, so
# that the host format &__4.30 writes what format's %.3f writes.
ops=${BENCH_POST_OPERATIONS:-1000}
per_op=$((template_moves / ops))
awk -v ops="$ops" -v per="$per_op" 'BEGIN {
    print "{\"objects\": ["
    print "  {\"tag\": 10, \"kind\": \"setup\", \"program_root\": 20},"
    printf "  {\"tag\": 20, \"kind\": \"program_group\", \"name\": \"NC_PROGRAM\", \"members\": ["
    for (o = 0; o < ops; o++) printf "%d%s", 100 + o, (o < ops - 1 ? "," : "")
    print "]},"
    for (o = 0; o < ops; o++) {
        printf "  {\"tag\": %d, \"kind\": \"operation\", \"name\": \"OP%d\", \"path\": [\n", 100 + o, o
        for (i = 0; i < per; i++) {
            k = o * per + i
            x = 1 + (k % 1000) * 0.125; y = 1 + (int(k / 1000) % 100) * 0.5
            if (i % 100 == 0) printf "{\"motion\": \"rapid\", \"pos\": [%.3f, %.3f, -2]}", x, y
            else if (i % 10 == 5) printf "{\"motion\": \"circular\", \"pos\": [%.3f, %.3f, -2], \"center\": [%.3f, %.3f, -2], \"direction\": \"CLW\"}", x, y, px + 5, py + 5
            else printf "{\"motion\": \"linear\", \"pos\": [%.3f, %.3f, -2], \"feed\": %d}", x, y, (o % 2 ? 800 : 1200)
            printf "%s\n", (i < per - 1 ? "," : "")
            px = x; py = y
        }
        printf "]}%s\n", (o < ops - 1 ? "," : "")
    }
    print "]}"
}' > "$work/template_part.json"

cat > "$work/template.def" <<'DEF'
FORMATTING
{
  WORD_SEPARATOR " "
  SEQUENCE seq 1 1 1 99999999
  FORMAT Coord "&__4.30"
  FORMAT Code  "&_02_00"
  FORMAT Int   "&__8_00"
  ADDRESS N { FORMAT Int LEADER "N" }
  ADDRESS G { FORMAT Code LEADER "G" }
  ADDRESS X { FORMAT Coord LEADER "X" }
  ADDRESS Y { FORMAT Coord LEADER "Y" }
  ADDRESS Z { FORMAT Coord LEADER "Z" }
  ADDRESS I { FORMAT Coord FORCE always LEADER "I" }
  ADDRESS J { FORMAT Coord FORCE always LEADER "J" }
  ADDRESS F { FORMAT Int LEADER "F" }
  BLOCK_TEMPLATE seq { N[$mom_seqnum] }
  BLOCK_TEMPLATE rapid_move { G[0] X[$mom_pos(0)] Y[$mom_pos(1)] Z[$mom_pos(2)] }
  BLOCK_TEMPLATE linear_move { G[1] X[$mom_pos(0)] Y[$mom_pos(1)] Z[$mom_pos(2)] F[$mom_feed_rate] }
  BLOCK_TEMPLATE circular_move { G[$mom_sys_circle_code($mom_arc_direction)] X[$mom_pos(0)] Y[$mom_pos(1)]
      Z[$mom_pos(2)] I[$mom_pos_arc_center(0) - $mom_prev_pos(0)] J[$mom_pos_arc_center(1) - $mom_prev_pos(1)]
      F[$mom_feed_rate] }
}
DEF
cat > "$work/template.tcl" <<'TCL'
array set mom_sys_circle_code {CLW 2 CCLW 3}
proc MOM_rapid_move {} { MOM_do_template rapid_move }
proc MOM_linear_move {} { MOM_do_template linear_move }
proc MOM_circular_move {} { MOM_do_template circular_move }
TCL

# The plain loop: the walk's variables set from the same numbers, each word
# formatted with format and written when it differs from its last text.
cat > "$work/template_loop.tcl" <<TCL
set nc [open $work/template_loop.ptp w]
set seq 0
proc word {address text} {
    upvar #0 last(\$address) last
    if {[info exists last] && \$last eq \$text} { return }
    set last \$text
    uplevel 1 [list lappend words \$text]
}
proc write {words} {
    if {[llength \$words]} { puts \$::nc "N[incr ::seq] [join \$words]" }
}
proc MOM_rapid_move {} {
    global mom_pos
    set words {}
    word G G00; word X [format X%.3f \$mom_pos(0)]; word Y [format Y%.3f \$mom_pos(1)]; word Z [format Z%.3f \$mom_pos(2)]
    write \$words
}
proc MOM_linear_move {} {
    global mom_pos mom_feed_rate
    set words {}
    word G G01; word X [format X%.3f \$mom_pos(0)]; word Y [format Y%.3f \$mom_pos(1)]; word Z [format Z%.3f \$mom_pos(2)]
    word F [format F%d [expr {round(\$mom_feed_rate)}]]
    write \$words
}
proc MOM_circular_move {} {
    global mom_pos mom_prev_pos mom_pos_arc_center mom_feed_rate
    set words {}
    word G G02; word X [format X%.3f \$mom_pos(0)]; word Y [format Y%.3f \$mom_pos(1)]; word Z [format Z%.3f \$mom_pos(2)]
    lappend words [format I%.3f [expr {\$mom_pos_arc_center(0) - \$mom_prev_pos(0)}]] \\
        [format J%.3f [expr {\$mom_pos_arc_center(1) - \$mom_prev_pos(1)}]]
    word F [format F%d [expr {round(\$mom_feed_rate)}]]
    write \$words
}
set mom_feed_rate 0.0
for {set o 0} {\$o < $ops} {incr o} {
    for {set i 0} {\$i < $per_op} {incr i} {
        set k [expr {\$o * $per_op + \$i}]
        set x [expr {1 + \$k % 1000 * 0.125}]
        set y [expr {1 + \$k / 1000 % 100 * 0.5}]
        array set mom_prev_pos [array get mom_pos]
        if {![info exists mom_pos(0)]} { array set mom_prev_pos [list 0 \$x 1 \$y 2 -2.0] }
        array set mom_pos [list 0 \$x 1 \$y 2 -2.0]
        if {\$i % 100 == 0} {
            MOM_rapid_move
        } elseif {\$i % 10 == 5} {
            array set mom_pos_arc_center [list 0 [expr {\$mom_prev_pos(0) + 5}] 1 [expr {\$mom_prev_pos(1) + 5}] 2 -2.0]
            MOM_circular_move
        } else {
            set mom_feed_rate [expr {\$o % 2 ? 800.0 : 1200.0}]
            MOM_linear_move
        }
    }
}
close \$nc
TCL

touch "$work/empty.tcl"
t_post=$(best "$momsim" --quiet --post --part "$work/template_part.json" --def "$work/template.def" \
    --output "$work/template_post.ptp" "$work/template.tcl")
t_load=$(best "$momsim" --quiet --part "$work/template_part.json" "$work/empty.tcl")
t_loop=$(best tclsh "$work/template_loop.tcl")
cmp -s "$work/template_post.ptp" "$work/template_loop.ptp" || {
    echo "bench-post: the template post and the loop wrote different files" >&2
    diff "$work/template_post.ptp" "$work/template_loop.ptp" | head -5 >&2
    exit 1
}
echo
echo "template post: $template_moves moves in $ops operations, $(wc -l < "$work/template_post.ptp") blocks, best of $runs runs, wall-clock seconds"
echo "momsim --post with the definition file (part file read, posted, NC written): $t_post"
echo "of which reading the part file (momsim with --part and an empty script): $t_load"
echo "tclsh loop (variables set, words formatted and compared, file written): $t_loop"
echo "ratio, whole process: $(echo "$t_post $t_loop" | awk '{printf "%.2f", $1 / $2}')"
echo "ratio, posting alone (part file read left out): $(echo "$t_post $t_load $t_loop" | awk '{printf "%.2f", ($1 - $2) / $3}')"
