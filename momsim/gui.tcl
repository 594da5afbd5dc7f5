# The windows of momsim --gui. This runs in an interpreter of its own, with
# Tk loaded there only, so the post's interpreter gains no command, no
# variable and no main window; a post that loads Tk itself gets its own.
#
# Each procedure below is called by momsim (momsim/gui.cpp) for one dialog.
# The modal ones wait in the event loop until the user closes the window and
# answer what the user did; momsim turns that into the dialog's answer.
# Closing a window (the window manager's close, or the window destroyed from
# outside) counts as Escape on the message dialog and as Cancel elsewhere.
#
# When gui::init is given a log file, every window writes one line to it
# once it is on the screen: a Tcl list
#
#   shown WINDOW TITLE FRAME {{CLASS TEXT X Y WIDTH HEIGHT} ...}
#
# with the X window id of its frame (what a window manager would close) and
# each label, button, entry and text widget in it: the texts read back from
# the widgets (an icon as "image NAME") and their places on the root window. Tests find buttons
# and fields by their texts there; a line "done WINDOW RESULT" follows when
# a modal window is answered.

namespace eval gui {
    variable log {}
    variable result
    array set result {}
    variable serial 0
    variable choosing 0
}

# gui::init LOGFILE
#
# Withdraws the main window, which becomes the status line when a status is
# first set, and opens the test log when LOGFILE is not empty.
proc gui::init {logfile} {
    variable log
    wm withdraw .
    wm title . "Status"
    wm resizable . 1 0
    wm geometry . +0-0
    ttk::label .status -relief sunken -anchor w -padding {6 2} -width 60
    pack .status -fill x -expand 1
    option add *Dialog.msg.wrapLength 6i
    if {$logfile ne ""} {
        set log [open $logfile a]
        fconfigure $log -buffering line -encoding utf-8
    }
}

# --- what the windows show, for the test log --------------------------------

proc gui::widget_text {w} {
    switch -- [winfo class $w] {
        Entry - TEntry { return [$w get] }
        Text { return [$w get 1.0 end-1c] }
        default {
            if {[catch {$w cget -text} text]} { return "" }
            # An icon reads as the name of its image.
            if {$text eq "" && ![catch {$w cget -image} image] && $image ne ""} {
                return "image [namespace tail $image]"
            }
            return $text
        }
    }
}

proc gui::describe {w} {
    set found {}
    foreach child [winfo children $w] {
        if {[winfo toplevel $child] ne [winfo toplevel $w]} { continue }
        if {![winfo ismapped $child]} { continue }
        if {[winfo class $child] in {Label TLabel Button TButton Entry TEntry Text}} {
            lappend found [list [winfo class $child] [widget_text $child] \
                [winfo rootx $child] [winfo rooty $child] [winfo width $child] [winfo height $child]]
        }
        lappend found {*}[describe $child]
    }
    return $found
}

proc gui::note {args} {
    variable log
    if {$log ne ""} { puts $log $args }
}

# Puts a window on the screen and waits until it is there, then notes it.
proc gui::present {w {focus {}}} {
    if {$w ni {. .info}} { ::tk::PlaceWindow $w }
    wm deiconify $w
    raise $w
    update
    if {![winfo viewable $w]} { tkwait visibility $w }
    update
    if {$focus ne ""} { focus -force $focus }
    note shown $w [wm title $w] [wm frame $w] [describe $w]
}

# --- modal windows ----------------------------------------------------------

# Makes a fresh toplevel, named after its kind (.message1, .filebox2, ...),
# whose result is "closed" when it goes away before an answer.
proc gui::window {kind title} {
    variable serial
    variable result
    set w .$kind[incr serial]
    toplevel $w
    wm withdraw $w
    wm title $w $title
    wm protocol $w WM_DELETE_WINDOW [list gui::answer $w closed]
    bind $w <Destroy> [list gui::destroyed $w %W]
    return $w
}

proc gui::destroyed {w widget} {
    if {$widget eq $w} { answer $w closed }
}

proc gui::answer {w value} {
    variable result
    if {![info exists result($w)]} { set result($w) $value }
}

# Waits for the answer of window w, takes the window down and answers it.
proc gui::wait {w} {
    variable result
    catch {grab $w}
    if {![info exists result($w)]} { vwait gui::result($w) }
    set value $result($w)
    unset result($w)
    note done $w $value
    if {[winfo exists $w]} {
        bind $w <Destroy> {}
        destroy $w
    }
    update
    return $value
}

proc gui::buttons {w specs} {
    set row [ttk::frame $w.buttons]
    foreach {name label command} $specs {
        ttk::button $row.$name -text $label -command $command
        pack $row.$name -side left -padx 4 -pady 6
    }
    pack $row -side bottom
    return $row
}

# A line in red that says why the previous answer was not taken.
proc gui::problem_line {w problem} {
    ttk::label $w.problem -text $problem -foreground red3 -wraplength 480 -justify left
    pack $w.problem -side top -anchor w -padx 10 -pady {8 0}
    if {$problem eq ""} { pack forget $w.problem }
}

proc gui::show_problem {w problem} {
    $w.problem configure -text $problem
    pack $w.problem -side top -anchor w -padx 10 -pady {8 0} -before [lindex [pack slaves $w] 0]
    bell
}

# gui::message_dialog TITLE TYPE LINES LABELS PROBLEM
#
# The message dialog: the title, an icon by TYPE (0 error, 1 warning,
# 2 information, 3 question), the lines and a button per label, in order.
# The first button is the default (Return), Escape presses the last.
# Answers the index of the pressed button, from 0, or "closed".
proc gui::message_dialog {title type lines labels problem} {
    set w [window message $title]
    problem_line $w $problem
    set icon [lindex {error warning information question} $type]
    ttk::frame $w.body
    ttk::label $w.body.icon -image ::tk::icons::$icon
    ttk::label $w.body.text -text [join $lines \n] -justify left -wraplength 520
    pack $w.body.icon -side left -anchor n -padx {12 8} -pady 12
    pack $w.body.text -side left -anchor w -fill x -padx {0 12} -pady 12
    pack $w.body -side top -fill both -expand 1
    set specs {}
    set i 0
    foreach label $labels {
        lappend specs b$i $label [list gui::answer $w $i]
        incr i
    }
    set row [buttons $w $specs]
    $row.b0 configure -default active
    bind $w <Return> [list gui::answer $w 0]
    bind $w <Escape> [list gui::answer $w [expr {[llength $labels] - 1}]]
    present $w $row.b0
    return [wait $w]
}

# gui::filebox TITLE PROMPT FILTER NAME PROBLEM
#
# The file box: the prompt, the filter and the file name, which can be typed
# or picked with Tk's file dialog (Choose file...), and OK, Back, Cancel.
# Answers {3 NAME}, 1 (Back), 2 (Cancel, Escape) or "closed".
proc gui::filebox {title prompt filter name problem} {
    set w [window filebox $title]
    problem_line $w $problem
    ttk::label $w.prompt -text $prompt -justify left
    ttk::label $w.filter -text "Filter: $filter"
    ttk::entry $w.name -width 60
    $w.name insert 0 $name
    pack $w.prompt $w.filter -side top -anchor w -padx 10 -pady {8 0}
    pack $w.name -side top -fill x -padx 10 -pady 8
    set row [buttons $w [list \
        ok OK [list gui::answer $w ok] \
        choose "Choose file..." [list gui::choose_file $w $title $filter] \
        back Back [list gui::answer $w 1] \
        cancel Cancel [list gui::answer $w 2]]]
    $row.ok configure -default active
    bind $w <Return> [list gui::answer $w ok]
    bind $w <Escape> [list gui::answer $w 2]
    present $w $w.name
    set value [wait_entry $w $w.name]
    return $value
}

# Waits for a window whose OK answers the text of its entry: "ok" becomes
# {3 TEXT}.
proc gui::wait_entry {w entry} {
    variable result
    catch {grab $w}
    if {![info exists result($w)]} { vwait gui::result($w) }
    if {$result($w) eq "ok"} { set result($w) [list 3 [$entry get]] }
    return [wait $w]
}

proc gui::choose_file {w title filter} {
    set current [$w.name get]
    set options [list -parent $w -title $title -confirmoverwrite 0]
    if {$current ne ""} {
        lappend options -initialdir [file dirname $current] -initialfile [file tail $current]
    }
    set patterns [split $filter ";, "]
    set types [list [list $filter $patterns] {{All files} *}]
    catch {grab release $w}
    # Tk's dialog is noted like the others once it is on the screen.
    variable choosing 1
    after 50 [list gui::note_when_shown $w.__tk_filedialog]
    if {[catch {tk_getSaveFile {*}$options -filetypes $types} chosen]} {
        set chosen [tk_getSaveFile {*}$options]
    }
    set choosing 0
    catch {grab $w}
    if {$chosen ne ""} {
        $w.name delete 0 end
        $w.name insert 0 $chosen
    }
    note chosen $w $chosen
}

proc gui::note_when_shown {w} {
    variable choosing
    if {!$choosing} return
    if {![winfo exists $w] || ![winfo viewable $w]} {
        after 50 [list gui::note_when_shown $w]
        return
    }
    update
    note shown $w [wm title $w] [wm frame $w] [describe $w]
}

# gui::string_input CUE TEXT PROBLEM
#
# The one-line entry: the cue, the text (the default text to begin with)
# and OK, Back, Cancel. Answers {3 TEXT}, 1, 2 or "closed".
proc gui::string_input {cue text problem} {
    set w [window entry $cue]
    problem_line $w $problem
    ttk::label $w.cue -text $cue
    ttk::entry $w.text -width 40
    $w.text insert 0 $text
    $w.text selection range 0 end
    pack $w.cue -side top -anchor w -padx 10 -pady {8 0}
    pack $w.text -side top -fill x -padx 10 -pady 8
    set row [buttons $w [list ok OK [list gui::answer $w ok] \
        back Back [list gui::answer $w 1] cancel Cancel [list gui::answer $w 2]]]
    $row.ok configure -default active
    bind $w <Return> [list gui::answer $w ok]
    bind $w <Escape> [list gui::answer $w 2]
    present $w $w.text
    return [wait_entry $w $w.text]
}

# gui::value_form TITLE LABELS VALUES PROBLEM
#
# The value form: one labelled entry per value and OK, Back, Cancel. OK is
# refused, with the reason in the window, while an entry holds no number.
# Answers {3 VALUE ...}, 1, 2 or "closed".
proc gui::value_form {title labels values problem} {
    variable result
    set w [window values $title]
    problem_line $w $problem
    ttk::frame $w.form
    set i 0
    foreach label $labels value $values {
        ttk::label $w.form.l$i -text $label
        ttk::entry $w.form.e$i -width 16 -justify right
        $w.form.e$i insert 0 $value
        grid $w.form.l$i $w.form.e$i -sticky w -padx 4 -pady 2
        incr i
    }
    pack $w.form -side top -padx 10 -pady 8
    set row [buttons $w [list ok OK [list gui::answer $w ok] \
        back Back [list gui::answer $w 1] cancel Cancel [list gui::answer $w 2]]]
    $row.ok configure -default active
    bind $w <Return> [list gui::answer $w ok]
    bind $w <Escape> [list gui::answer $w 2]
    # Typing replaces the first value, as Tab to the next one does there.
    $w.form.e0 selection range 0 end
    $w.form.e0 icursor end
    present $w $w.form.e0
    catch {grab $w}
    while 1 {
        if {![info exists result($w)]} { vwait gui::result($w) }
        if {$result($w) ne "ok"} { break }
        set answered {}
        set bad {}
        for {set j 0} {$j < $i} {incr j} {
            set text [string trim [$w.form.e$j get]]
            # What the host reads as a number: no blanks inside, finite.
            if {![string is double -strict $text] || [regexp {\s} $text] ||
                    [catch {expr {double($text)}} number] || $number != $number ||
                    abs($number) > 1.7976931348623157e308} {
                lappend bad "[lindex $labels $j]: \"$text\" is no number"
            }
            lappend answered $text
        }
        if {$bad eq ""} {
            set result($w) [list 3 {*}$answered]
            break
        }
        unset result($w)
        show_problem $w [join $bad \n]
        note refused $w [join $bad \n]
        # The reason moved the window's contents: noted afresh.
        update
        note shown $w [wm title $w] [wm frame $w] [describe $w]
    }
    return [wait $w]
}

# gui::ok_only W
#
# Ends a window that only informs: one OK button, the default, which Return
# and Escape press too; waits for it.
proc gui::ok_only {w} {
    set row [buttons $w [list ok OK [list gui::answer $w ok]]]
    $row.ok configure -default active
    bind $w <Return> [list gui::answer $w ok]
    bind $w <Escape> [list gui::answer $w ok]
    present $w $row.ok
    return [wait $w]
}

# gui::ok_box TITLE TEXT
#
# A message box with the text and a single OK; waits for it.
proc gui::ok_box {title text} {
    set w [window box $title]
    ttk::frame $w.body
    ttk::label $w.body.icon -image ::tk::icons::information
    ttk::label $w.body.text -text [string trimright $text \n] -justify left -wraplength 520
    pack $w.body.icon -side left -anchor n -padx {12 8} -pady 12
    pack $w.body.text -side left -anchor w -padx {0 12} -pady 12
    pack $w.body -side top -fill both -expand 1
    return [ok_only $w]
}

# gui::about_box APPLICATION CREDITS
#
# The About box: the application's name and the credits, with OK.
proc gui::about_box {application credits} {
    set w [window about "About $application"]
    ttk::label $w.icon -image ::tk::icons::information
    ttk::label $w.name -text $application -font TkHeadingFont
    ttk::label $w.credits -text $credits -justify left -wraplength 400
    pack $w.icon -side top -pady {12 4}
    pack $w.name -side top -padx 16
    pack $w.credits -side top -padx 16 -pady 8
    return [ok_only $w]
}

# --- windows that stay ------------------------------------------------------

# gui::info_window TITLE TEXT POSITION
#
# The information window: one resizable text window that keeps every text
# it is given, the newest at the bottom. It opens where POSITION asks (0 at
# the pointer, 1 cascaded, 2 at the right edge, 3 at the left), out of the
# way of the dialogs, which open in the middle of the screen. Closing it
# hides it until the next text comes.
proc gui::info_window {title text position} {
    set w .info
    if {![winfo exists $w]} {
        toplevel $w
        wm withdraw $w
        switch -- $position {
            0 { wm geometry $w +[winfo pointerx .]+[winfo pointery .] }
            1 { wm geometry $w +40+40 }
            2 { wm geometry $w -0+0 }
            default { wm geometry $w +0+0 }
        }
        wm protocol $w WM_DELETE_WINDOW [list wm withdraw $w]
        wm minsize $w 200 80
        text $w.text -width 64 -height 16 -wrap word -yscrollcommand [list $w.scroll set]
        ttk::scrollbar $w.scroll -command [list $w.text yview]
        pack $w.scroll -side right -fill y
        pack $w.text -side left -fill both -expand 1
    }
    wm title $w $title
    $w.text configure -state normal
    $w.text insert end $text
    $w.text see end
    $w.text configure -state disabled
    present $w
}

# gui::status_line TEXT
#
# The status line: a bar at the bottom of the main window.
proc gui::status_line {text} {
    .status configure -text $text
    present .
}
