#!/usr/bin/env bash
# Posting at production size: momsim --quiet --post posts a part through a
# post whose MOM_linear_move formats one block and writes it with
# MOM_output_literal, against plain tclsh running the same procedure over
# the same moves held in a Tcl list (read from a text file, one move a
# line) and writing to a file. Both NC files must come out byte for byte
# alike, or the script fails.
#
#   scripts/bench-post.sh [RUNS]
#
# Cases: 100,000 and 1,000,000 moves in one operation and 1,000,000 over
# 100 operations, each the best wall-clock time of RUNS runs (default 3) of
# each whole process, with its peak memory (maximum resident set, from
# Debian's /usr/bin/time). Then a post written the host's way (a definition
# file: sequence numbers, three block templates, modal addresses) posts
# BENCH_POST_TEMPLATE moves (default 1,000,000) over 100 operations, against
# plain tclsh running a loop that sets the same variables and writes the
# same lines with format and its own comparison with the last value of each
# word. Last, one run of a part of BENCH_POST_BIG moves (default
# 10,000,000; 0 leaves it out) in one operation, momsim alone.
# Needs a built momsim (preset default), tclsh 8.6 and /usr/bin/time (the
# Debian package time). Its files live in a folder under /tmp that the run
# removes. docs/performance.md holds the figures and what they mean.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
big=${BENCH_POST_BIG:-10000000}
template_moves=${BENCH_POST_TEMPLATE:-1000000}
momsim=$PWD/build/default/momsim
[ -x "$momsim" ] || { cmake --preset default >/dev/null && cmake --build --preset default --target momsim; }
[ -x /usr/bin/time ] || { echo "bench-post: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The post's motion event, the same text for both.
cat > event.tcl <<'TCL'
proc MOM_linear_move {} {
    global mom_pos mom_feed_rate
    MOM_output_literal [format "G1 X%.3f Y%.3f Z%.3f F%.0f" $mom_pos(0) $mom_pos(1) $mom_pos(2) $mom_feed_rate]
}
TCL
touch empty.tcl

# The plain loop: the moves in a list, the same variables, the same procedure.
cat > loop.tcl <<'TCL'
set in [open [lindex $argv 0]]
set moves [split [string trimright [read $in] \n] \n]
close $in
set nc [open [lindex $argv 1] w]
proc MOM_output_literal {text} { puts $::nc $text }
source event.tcl
foreach move $moves {
    lassign $move mom_pos(0) mom_pos(1) mom_pos(2) mom_feed_rate
    MOM_linear_move
}
close $nc
TCL

# A part of MOVES moves split evenly over OPERATIONS operations. Plain
# (the default): linear moves, and the same moves as text for the loop in
# moves.txt. Mixed: every 100th move of an operation rapid, every 10th an
# arc (a quarter circle about a centre 5 over and 5 up from its start), the
# rest linear with a feed by operation; every number is at least 1 in size,
# so that the host format &__4.30 writes what format's %.3f writes.
make_part() {  # moves operations [mixed]
    awk -v n="$1" -v ops="$2" -v mixed="${3:-}" 'BEGIN {
        per = n / ops
        print "{\"objects\": ["
        print "  {\"tag\": 10, \"kind\": \"setup\", \"program_root\": 20},"
        printf "  {\"tag\": 20, \"kind\": \"program_group\", \"name\": \"NC_PROGRAM\", \"members\": ["
        for (o = 0; o < ops; o++) printf "%d%s", 100 + o, (o < ops - 1 ? ", " : "")
        print "]},"
        for (o = 0; o < ops; o++) {
            printf "  {\"tag\": %d, \"kind\": \"operation\", \"name\": \"OP%d\", \"tool\": {\"name\": \"EM10\", \"number\": 1}, \"path\": [\n", 100 + o, o
            for (i = 0; i < per; i++) {
                k = o * per + i
                if (!mixed) {
                    printf "{\"motion\": \"linear\", \"pos\": [%s, %s, -2.0], \"feed\": 1200}", (k % 1000) * 0.125, int(k / 1000) * 0.5
                    printf "%s %s -2.0 1200\n", (k % 1000) * 0.125, int(k / 1000) * 0.5 > "moves.txt"
                } else {
                    x = 1 + (k % 1000) * 0.125; y = 1 + (int(k / 1000) % 100) * 0.5
                    if (i % 100 == 0) printf "{\"motion\": \"rapid\", \"pos\": [%.3f, %.3f, -2]}", x, y
                    else if (i % 10 == 5) { x = px + 10; y = py; printf "{\"motion\": \"circular\", \"pos\": [%.3f, %.3f, -2], \"center\": [%.3f, %.3f, -2], \"direction\": \"CLW\"}", x, y, px + 5, py + 5 }
                    else printf "{\"motion\": \"linear\", \"pos\": [%.3f, %.3f, -2], \"feed\": %d}", x, y, (o % 2 ? 800 : 1200)
                    px = x; py = y
                }
                printf "%s\n", (i < per - 1 ? "," : "")
            }
            printf "  ]}%s\n", (o < ops - 1 ? "," : "")
        }
        print "]}"
    }' > part.json
}

# Best wall-clock seconds of $runs runs of the command, and the highest
# peak memory in MiB: "SECONDS MIB".
measure() {
    local best=1e9 peak=0 line
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null
        line=$(tail -1 time.txt)
        best=$(echo "$line $best" | awk '{print ($1 < $3 ? $1 : $3)}')
        peak=$(echo "$line $peak" | awk '{m = $2 / 1024; print (m > $3 ? m : $3)}')
    done
    echo "$best $peak"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) CPUs; best of $runs runs, wall-clock seconds, peak MiB"
printf '%-34s %9s %9s %9s %7s %9s %9s %10s\n' case momsim "(read)" loop ratio "momsim MB" "loop MB" "MB/1M mv"
declare -A posted
for shape in 100000:1 1000000:1 1000000:100; do
    moves=${shape%%:*}
    ops=${shape##*:}
    make_part "$moves" "$ops"
    read -r post post_mb < <(measure "$momsim" --quiet --post --part part.json --output post.ptp event.tcl)
    read -r load _ < <(measure "$momsim" --quiet --part part.json empty.tcl)
    read -r loop loop_mb < <(measure tclsh loop.tcl moves.txt loop.ptp)
    cmp -s post.ptp loop.ptp || { echo "bench-post: momsim and the loop wrote different files ($shape)" >&2; exit 1; }
    [ "$(wc -l < post.ptp)" -eq "$moves" ] || { echo "bench-post: momsim wrote $(wc -l < post.ptp) blocks, not $moves" >&2; exit 1; }
    posted[$shape]=$post
    printf '%-34s %9.2f %9.2f %9.2f %7.2f %9.0f %9.0f %10.0f\n' "$moves moves in $ops operation(s)" "$post" "$load" "$loop" \
        "$(echo "$post $loop" | awk '{print $1 / $2}')" "$post_mb" "$loop_mb" "$(echo "$post_mb $moves" | awk '{print $1 * 1e6 / $2}')"
    rm -f part.json moves.txt post.ptp loop.ptp
done
echo "1M moves in 1 operation against the same over 100 operations: $(echo "${posted[1000000:1]} ${posted[1000000:100]}" | awk '{printf "%.2f", $1 / $2}')"

# --- the template post ---------------------------------------------------------
ops=100
per_op=$((template_moves / ops))
make_part "$template_moves" "$ops" mixed

cat > template.def <<'DEF'
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
cat > template.tcl <<'TCL'
array set mom_sys_circle_code {CLW 2 CCLW 3}
proc MOM_rapid_move {} { MOM_do_template rapid_move }
proc MOM_linear_move {} { MOM_do_template linear_move }
proc MOM_circular_move {} { MOM_do_template circular_move }
TCL

# The plain loop: the walk's variables set from the same numbers, each word
# formatted with format and written when it differs from its last text.
cat > template_loop.tcl <<TCL
set nc [open template_loop.ptp w]
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
            array set mom_pos [list 0 [expr {\$mom_prev_pos(0) + 10}] 1 \$mom_prev_pos(1) 2 -2.0]
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

read -r t_post t_post_mb < <(measure "$momsim" --quiet --post --part part.json --def template.def \
    --output template_post.ptp template.tcl)
read -r t_load _ < <(measure "$momsim" --quiet --part part.json empty.tcl)
read -r t_loop t_loop_mb < <(measure tclsh template_loop.tcl)
cmp -s template_post.ptp template_loop.ptp || {
    echo "bench-post: the template post and the loop wrote different files" >&2
    diff template_post.ptp template_loop.ptp | head -5 >&2
    exit 1
}
echo "template post: $template_moves moves in $ops operations, $(wc -l < template_post.ptp) blocks, best of $runs runs, wall-clock seconds, peak MiB $(printf %.0f "$t_post_mb") (loop $(printf %.0f "$t_loop_mb"))"
echo "momsim --post with the definition file (part file read, posted, NC written): $t_post"
echo "of which reading the part file (momsim with --part and an empty script): $t_load"
echo "tclsh loop (variables set, words formatted and compared, file written): $t_loop"
echo "ratio, whole process: $(echo "$t_post $t_loop" | awk '{printf "%.2f", $1 / $2}')"
echo "ratio, posting alone (part file read left out): $(echo "$t_post $t_load $t_loop" | awk '{printf "%.2f", ($1 - $2) / $3}')"
rm -f part.json template_post.ptp template_loop.ptp

if [ "$big" -gt 0 ]; then
    make_part "$big" 1
    rm -f moves.txt
    /usr/bin/time -f "%e %M" -o time.txt "$momsim" --quiet --post --part part.json --output post.ptp event.tcl
    read -r seconds kb < time.txt
    blocks=$(wc -l < post.ptp)
    [ "$blocks" -eq "$big" ] || { echo "bench-post: momsim wrote $blocks blocks, not $big" >&2; exit 1; }
    echo "$big moves in 1 operation ($(du -m part.json | cut -f1) MB of part file): posted in $seconds s, peak $((kb / 1024)) MiB, $blocks blocks"
fi
