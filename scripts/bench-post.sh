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
# Debian's /usr/bin/time); then one run of a part of BENCH_POST_BIG moves
# (default 10,000,000; 0 leaves it out) in one operation, momsim alone.
# Needs a built momsim (preset default), tclsh 8.6 and /usr/bin/time (the
# Debian package time). Its files live in a folder under /tmp that the run
# removes. docs/performance.md holds the figures and what they mean.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
big=${BENCH_POST_BIG:-10000000}
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

# A part of MOVES linear moves split evenly over OPERATIONS operations, and
# the same moves as text for the loop.
make_part() {  # moves operations
    awk -v n="$1" -v ops="$2" 'BEGIN {
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
                printf "{\"motion\": \"linear\", \"pos\": [%s, %s, -2.0], \"feed\": 1200}%s\n", (k % 1000) * 0.125, int(k / 1000) * 0.5, (i < per - 1 ? "," : "")
                printf "%s %s -2.0 1200\n", (k % 1000) * 0.125, int(k / 1000) * 0.5 > "moves.txt"
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
for spec in 100000:1 1000000:1 1000000:100; do
    moves=${spec%%:*}
    ops=${spec##*:}
    make_part "$moves" "$ops"
    read -r post post_mb < <(measure "$momsim" --quiet --post --part part.json --output post.ptp event.tcl)
    read -r load _ < <(measure "$momsim" --quiet --part part.json empty.tcl)
    read -r loop loop_mb < <(measure tclsh loop.tcl moves.txt loop.ptp)
    cmp -s post.ptp loop.ptp || { echo "bench-post: momsim and the loop wrote different files ($spec)" >&2; exit 1; }
    [ "$(wc -l < post.ptp)" -eq "$moves" ] || { echo "bench-post: momsim wrote $(wc -l < post.ptp) blocks, not $moves" >&2; exit 1; }
    posted[$spec]=$post
    printf '%-34s %9.2f %9.2f %9.2f %7.2f %9.0f %9.0f %10.0f\n' "$moves moves in $ops operation(s)" "$post" "$load" "$loop" \
        "$(echo "$post $loop" | awk '{print $1 / $2}')" "$post_mb" "$loop_mb" "$(echo "$post_mb $moves" | awk '{print $1 * 1e6 / $2}')"
    rm -f part.json moves.txt post.ptp loop.ptp
done
echo "1M moves in 1 operation against the same over 100 operations: $(echo "${posted[1000000:1]} ${posted[1000000:100]}" | awk '{printf "%.2f", $1 / $2}')"

if [ "$big" -gt 0 ]; then
    make_part "$big" 1
    rm -f moves.txt
    /usr/bin/time -f "%e %M" -o time.txt "$momsim" --quiet --post --part part.json --output post.ptp event.tcl
    read -r seconds kb < time.txt
    blocks=$(wc -l < post.ptp)
    [ "$blocks" -eq "$big" ] || { echo "bench-post: momsim wrote $blocks blocks, not $big" >&2; exit 1; }
    echo "$big moves in 1 operation ($(du -m part.json | cut -f1) MB of part file): posted in $seconds s, peak $((kb / 1024)) MiB, $blocks blocks"
fi
