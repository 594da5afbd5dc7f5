# What the end-to-end tests share: running momsim as a user does, and small
# file helpers.

namespace eval ::helpers { variable runs 0 }

# Runs momsim with the given words and answers a dict: status (the exit
# status), out and err (standard output and error, whole). "-input TEXT"
# first feeds TEXT to its standard input; otherwise it reads nothing.
proc momsim {args} {
    run_program $::config(momsim) {*}$args
}

# The same for any program (an installed momsim).
proc run_program {program args} {
    set input {}
    if {[lindex $args 0] eq "-input"} {
        set input [lindex $args 1]
        set args [lrange $args 2 end]
    }
    set n [incr ::helpers::runs]
    set out_file [file join $::config(workdir) run$n.out]
    set err_file [file join $::config(workdir) run$n.err]
    set status 0
    if {[catch {exec -- $program {*}$args << $input > $out_file 2> $err_file} message options]} {
        set code [dict get $options -errorcode]
        if {[lindex $code 0] ne "CHILDSTATUS"} { return -options $options $message }
        set status [lindex $code 2]
    }
    return [dict create status $status out [read_file $out_file] err [read_file $err_file]]
}

# A script file in the work folder; answers its path.
proc script_file {name text} {
    set path [file join $::config(workdir) $name]
    write_file $path $text
    return $path
}

proc write_file {path text} {
    set channel [open $path w]
    fconfigure $channel -translation binary
    puts -nonewline $channel $text
    close $channel
}

proc read_file {path} {
    set channel [open $path r]
    fconfigure $channel -translation binary
    set text [read $channel]
    close $channel
    return $text
}

# Lines of `text` that begin with `prefix`.
proc lines_with {prefix text} {
    set found {}
    foreach line [split $text \n] {
        if {[string match "$prefix*" $line]} { lappend found $line }
    }
    return $found
}

# Lines of `text` that do not begin with `prefix`, the empty last one left out.
proc lines_without {prefix text} {
    set found {}
    foreach line [split [string trimright $text \n] \n] {
        if {![string match "$prefix*" $line]} { lappend found $line }
    }
    return $found
}

# The lines of a JSON Lines file (a transcript), each one object as text.
proc jsonl_lines {path} {
    set text [read_file $path]
    if {$text eq ""} { return {} }
    return [split [string trimright $text \n] \n]
}

# The attributes of a part file as momsim saves it (indented JSON, an
# object's "name" before its attributes): a list of {OBJECT TITLE TYPE VALUE},
# VALUE empty for a null attribute.
proc part_attributes {path} {
    set found {}
    set object ""
    foreach line [split [read_file $path] \n] {
        if {[regexp {^      "name": "(.*)",?$} $line -> object]} continue
        if {[regexp {^          "title": "(.*)",?$} $line -> title]} continue
        if {[regexp {^          "type": "(.*)",?$} $line -> type]} {
            if {$type eq "null"} { lappend found [list $object $title null {}] }
            continue
        }
        if {[regexp {^          "value": "(.*)"$} $line -> value]} {
            lappend found [list $object $title $type $value]
        }
    }
    return $found
}

# The attributes of one object, as {TITLE TYPE VALUE} triples.
proc attributes_of {path object} {
    set found {}
    foreach entry [part_attributes $path] {
        if {[lindex $entry 0] eq $object} { lappend found [lrange $entry 1 end] }
    }
    return $found
}

# A local time stamp as the part file writes it.
proc is_timestamp {text} {
    regexp {^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$} $text
}

# The demo files in the sources.
proc example {name} {
    file join [file dirname $::config(testdir)] .. examples $name
}
