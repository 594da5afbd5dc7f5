# Driving momsim --gui on an X server of its own, for the windows suite
# (gui.test) and the screenshots in the docs (scripts/screenshots.sh).
# Needs helpers.tcl and ::config(momsim), ::config(workdir),
# ::config(builddir).
#
#   gui_xvfb                 starts Xvfb on a free display; answers why not, or ""
#   gui_start WORD...        momsim --gui WORD... in the background
#   gui_next RUN ?KINDS?     the next window it showed, read back from its widgets
#   gui_click SHOWN LABEL    clicks the button with that label
#   gui_click_field SHOWN TEXT  clicks into the entry that shows TEXT
#   gui_close SHOWN          closes the window as a window manager does
#   xdo WORD...              xdotool on that display (typing, keys)
#   gui_finish RUN           waits for the end: status, out, err
#   gui_stop RUN             ends a run that is still going
#   gui_xvfb_stop            ends the Xvfb

namespace eval ::gui_driver { variable xvfb {} }

proc gui_xvfb {} {
    foreach program {Xvfb xdotool} {
        if {[auto_execok $program] eq ""} { return "$program is not installed" }
    }
    set ::wm_close [file join $::config(builddir) tests tcl wm_close]
    if {![file executable $::wm_close]} {
        return "$::wm_close was not built (Xlib's headers, libx11-dev, were missing)"
    }
    # Xvfb picks a free display itself and writes its number to the pipe
    # once it accepts clients; other X servers may run beside it.
    set err [file join $::config(workdir) xvfb.err]
    if {[catch {
        open |[list Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x1024x24 2> $err] r
    } xvfb]} {
        return "Xvfb cannot be started: $xvfb"
    }
    if {[gets $xvfb number] <= 0 || ![string is integer -strict $number]} {
        catch {close $xvfb}
        return "Xvfb did not start: [string trim [read_file $err]]"
    }
    set ::gui_driver::xvfb $xvfb
    set ::gui_display :$number
    return ""
}

proc gui_xvfb_stop {} {
    set xvfb $::gui_driver::xvfb
    if {$xvfb eq ""} return
    catch {exec kill {*}[pid $xvfb]}
    catch {close $xvfb}
    set ::gui_driver::xvfb {}
}

# --- driving momsim --------------------------------------------------------

# Starts momsim --gui with the given words in the background; answers the
# run: a dict of its pipe, its window log and its standard error file.
proc gui_start {args} {
    set n [incr ::helpers::runs]
    set log [file join $::config(workdir) gui$n.log]
    set err [file join $::config(workdir) gui$n.err]
    write_file $log ""
    set chan [open |[list env DISPLAY=$::gui_display MOMSIM_GUI_LOG=$log \
        $::config(momsim) --gui {*}$args 2> $err] r]
    fconfigure $chan -blocking 0
    return [dict create chan $chan log $log err $err read 0 out {}]
}

# Waits for the next line of the window log that begins with one of `kinds`
# and answers it as a list; lines before it are passed over. Answers an
# empty list when the run has ended without one.
proc gui_next {runvar {kinds shown}} {
    upvar 1 $runvar run
    set deadline [expr {[clock milliseconds] + 20000}]
    while {[clock milliseconds] < $deadline} {
        # One entry per line, but a text in it may hold line breaks: an
        # entry ends where the list is complete.
        set lines [split [read_file [dict get $run log]] \n]
        set entry {}
        for {set i [dict get $run read]} {$i < [llength $lines] - 1} {incr i} {
            append entry [lindex $lines $i]
            if {![info complete $entry]} {
                append entry \n
                continue
            }
            dict set run read [expr {$i + 1}]
            if {[lindex $entry 0] in $kinds} { return $entry }
            set entry {}
        }
        # Its output is kept as it comes, so that a run that ended is seen.
        set chan [dict get $run chan]
        dict append run out [read $chan]
        if {[eof $chan]} { return {} }
        after 50
    }
    error "no window came within 20 seconds; momsim said: [read_file [dict get $run err]]"
}

# The texts a shown window held, in order: {CLASS TEXT ...}.
proc gui_texts {shown} {
    set out {}
    foreach widget [lindex $shown 4] { lappend out [lindex $widget 0] [lindex $widget 1] }
    return $out
}

proc gui_click {shown label} {
    foreach widget [lindex $shown 4] {
        lassign $widget class text x y width height
        if {$class in {TButton Button} && $text eq $label} {
            # From outside the button, so that it sees the pointer come in
            # even where the last window's button was.
            xdo mousemove [expr {$x - 2}] [expr {$y - 2}]
            xdo mousemove [expr {$x + $width / 2}] [expr {$y + $height / 2}] click 1
            return
        }
    }
    error "no button \"$label\" in [lindex $shown 1]"
}

# Clicks into the entry field that shows `text`, as a user does before
# typing over it (a clicked button keeps the keyboard).
proc gui_click_field {shown text} {
    foreach widget [lindex $shown 4] {
        lassign $widget class shown_text x y width height
        if {$class in {TEntry Entry} && $shown_text eq $text} {
            xdo mousemove [expr {$x + $width / 2}] [expr {$y + $height / 2}] click 1
            return
        }
    }
    error "no field showing \"$text\" in [lindex $shown 1]"
}

# Closes the window as a window manager does for its close box.
proc gui_close {shown} { exec env DISPLAY=$::gui_display $::wm_close [lindex $shown 3] }

proc xdo {args} { exec env DISPLAY=$::gui_display xdotool {*}$args }

# Ends a run that is still going (after a failed test), so that its
# windows do not stand in the next test's way.
proc gui_stop {runvar} {
    upvar 1 $runvar run
    if {![info exists run]} return
    catch {exec kill {*}[pid [dict get $run chan]]}
    catch {close [dict get $run chan]}
    unset run
}

# Waits for the run to end; answers its exit status, output and errors.
proc gui_finish {runvar} {
    upvar 1 $runvar run
    set chan [dict get $run chan]
    fconfigure $chan -blocking 1
    set out [dict get $run out][read $chan]
    set status 0
    if {[catch {close $chan} message options]} {
        set code [dict get $options -errorcode]
        if {[lindex $code 0] ne "CHILDSTATUS"} { return -options $options $message }
        set status [lindex $code 2]
    }
    set err [read_file [dict get $run err]]
    unset run
    return [dict create status $status out $out err $err]
}
