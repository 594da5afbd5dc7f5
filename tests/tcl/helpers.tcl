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
