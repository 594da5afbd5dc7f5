# Shows what the demo run left behind: what the user was shown (the
# transcript, JSON Lines) and the attributes the run stamped onto the part
# (the saved part against the part it started from). Run by momsim, which
# is a Tcl shell here; it needs no JSON package, only the two files'
# layouts as momsim writes them.
#
#   momsim demo_report.tcl TRANSCRIPT SAVED_PART ORIGINAL_PART ?NC_FILE?
#
# With NC_FILE, it also counts what the post wrote there.

proc read_file {path} {
    set channel [open $path r]
    set text [read $channel]
    close $channel
    return $text
}

# A string field of a one-line JSON object, unescaped; empty when absent.
proc field {line name} {
    if {![regexp "\"$name\":\"((?:\[^\"\\\\\]|\\\\.)*)\"" $line -> value]} { return "" }
    return [subst -nocommands -novariables $value]
}

lassign $argv transcript saved original nc

set lines [split [string trimright [read_file $transcript] \n] \n]
puts "What the user was shown ([llength $lines] entries in $transcript):"
foreach line $lines {
    set call [field $line call]
    set shown ""
    foreach name {cue prompt text application program} {
        if {[set shown [field $line $name]] ne ""} { break }
    }
    if {[regexp {"lines":\["((?:[^"\\]|\\.)*)"} $line -> first]} { set shown $first }
    if {[regexp {"labels":\[([^\]]*)\]} $line -> labels]} { set shown "values: [string map {\" {}} $labels]" }
    set shown [lindex [split $shown \n] 0]
    set answer ""
    if {[set given [field $line given]] ne ""} {
        set answer "  -> [expr {[field $line answer_line] eq {} ? {(default)} : [field $line answer_line]}] ($given)"
    }
    puts [format "  %-26s %s%s" $call $shown $answer]
}

# The saved part is indented JSON: an object's "name" comes before its
# attributes, each attribute's "title" before its "value".
set before [read_file $original]
set object ""
set title ""
set type ""
puts "\nAttributes the run stamped (in $saved):"
foreach line [split [read_file $saved] \n] {
    if {[regexp {^      "name": "(.*)",?$} $line -> name]} { set object $name }
    if {[regexp {^          "title": "(.*)",?$} $line -> title]} { continue }
    if {[regexp {^          "type": "(.*)",?$} $line -> type]} {
        if {$type eq "null" && [string first "\"$title\"" $before] < 0} {
            puts [format "  %-14s %-20s (null)" $object $title]
        }
        continue
    }
    if {[regexp {^          "value": "(.*)"$} $line -> value]} {
        if {[string first "\"$title\"" $before] < 0} {
            puts [format "  %-14s %-20s %s" $object $title $value]
        }
    }
}

if {$nc ne "" && [file exists $nc]} {
    set counts {G0 0 G1 0 G2 0 G3 0 holes 0}
    set blocks [split [string trimright [read_file $nc] \n] \n]
    foreach block $blocks {
        set word [lindex [split $block] 0]
        if {[dict exists $counts $word]} { dict incr counts $word }
        # A drilling or boring cycle's block is a hole.
        if {[regexp {^G8[1-9]$} $word]} { dict incr counts holes }
    }
    puts "\nThe NC file ($nc): [llength $blocks] blocks;\
 [dict get $counts G0] rapid, [dict get $counts G1] linear,\
 [expr {[dict get $counts G2] + [dict get $counts G3]}] circular moves, [dict get $counts holes] holes"
}
