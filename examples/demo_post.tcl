# An event-driven post for the demo part that uses every tarvex command: the
# host calls its MOM_ event procedures while it walks the selected program,
# and the post asks the operator once, checks each tool with a GRIP program,
# writes the NC file, stamps every operation and the program, and hands the
# file on.
#
#   momsim --load tarvex --post --part demo_part.json --answers demo_answers.txt demo_post.tcl
#
# The NC file is mom_output_file_full_name (--output FILE chooses it); the
# post's other files go beside it, into mom_output_file_directory.

set here [file dirname [file normalize [info script]]]
if {[info commands MOM_box_message] eq ""} {
    MOM_run_user_function tarvex ufusr
}
# The plug-in's eighteen commands; the host has many MOM_ commands of its own.
set tarvex_commands {MOM_about_stub MOM_abort_ex MOM_ask_part_attr MOM_assign_attribute MOM_box_message MOM_call_grip
    MOM_createfile MOM_deletefile MOM_get_ini_string MOM_info_message MOM_remove_file_ex MOM_run_exec MOM_set_attribute_program MOM_shell_exec MOM_uc1600 MOM_uc1609 MOM_ui_filebox MOM_ui_message}
# Notes each tarvex command as it runs, for the summary at the end.
set used {}
foreach command [lsort [info commands MOM_*]] {
    if {$command ni $tarvex_commands} { continue }
    trace add execution $command enter [list apply {{command args} {
        if {$command ni $::used} { lappend ::used $command }
    }} $command]
}
set done {}
proc did {text} { lappend ::done $text }

proc out {text} { MOM_output_literal $text }
proc coordinates {} {
    global mom_pos
    format "X%.3f Y%.3f Z%.3f" $mom_pos(0) $mom_pos(1) $mom_pos(2)
}

# --- the start: the operator, the shop, the output -------------------------------
proc MOM_start_of_program {} {
    global mom_ask_part_desc mom_output_file_directory mom_output_file_basename mom_output_file_full_name
    global mom_machine_name mom_date part operator max_rpm sheet lock
    MOM_about_stub
    set part [MOM_ask_part_attr]
    did "read the part: $part, \"$mom_ask_part_desc\""

    set ini [file join $::here demo_shop.ini]
    set machine [MOM_get_ini_string $ini Machine name]
    set max_rpm [MOM_get_ini_string $ini Machine max_spindle_rpm]
    did "read the shop settings: machine $machine, at most $max_rpm rpm"

    if {[MOM_ui_message QUESTION YESNO "Post $part on the $mom_machine_name?"] != 1} {
        MOM_abort_ex "Post cancelled by the operator."
    }
    set operator [MOM_uc1600 "Operator initials" "XX"]
    did "asked the operator: $operator"

    array set ::mom_chk_label {0 "Safe Z" 1 "Max feed"}
    array set ::mom_chk_value {0 50.0 1 1200.0}
    set response [MOM_uc1609 2 chk_label chk_value]
    did "had the operator check safe Z and feed (response $response)"

    set sheet [MOM_ui_filebox [file join $mom_output_file_directory ${mom_output_file_basename}_tools.txt] "*.txt"]
    if {$::mom_ui_filebox_return != 3} {
        MOM_abort_ex "No tool sheet chosen."
    }
    # A lock beside the NC file while the post runs; an old sheet goes.
    set lock "$mom_output_file_full_name.lock"
    MOM_createfile $lock
    MOM_remove_file_ex $sheet

    out "%"
    out "(PART $part  MACHINE $mom_machine_name  OPERATOR $operator)"
    out "(DATE $mom_date)"
    out "G90 [expr {$::mom_output_unit eq "IN" ? "G20" : "G21"}] G17"
}

proc MOM_start_of_group {} {
    out "(PROGRAM $::mom_group_name)"
}

# --- each operation ---------------------------------------------------------------
proc MOM_start_of_path {} {
    global mom_operation_name mom_tool_name operator
    MOM_info_message RIGHT "Operation: $mom_operation_name"
    MOM_assign_attribute POSTED_BY $operator
    MOM_assign_attribute POSTED_AT TIME
    out "(OPERATION $mom_operation_name)"
    if {$mom_tool_name eq ""} {
        # MOM_abort_ex stops the post; here the post catches it and goes on.
        if {[catch {MOM_abort_ex "No tool in operation $mom_operation_name" "Operation skipped."} message]} {
            did "skipped $mom_operation_name: [lindex [split $message \n] 0]"
        }
    }
}

proc load_tool {} {
    global mom_tool_name mom_tool_number
    out "T$mom_tool_number M6 ($mom_tool_name)"
}
proc MOM_first_tool {} { load_tool }
proc MOM_tool_change {} { out "M5"; load_tool }

# The spindle comes from the tool path; a GRIP program checks the speed
# against the machine's limit before the spindle starts.
proc MOM_spindle_rpm {} {
    global mom_tool_name mom_tool_number mom_operation_name mom_spindle_speed mom_spindle_direction max_rpm
    set rpm [format %.0f $mom_spindle_speed]
    set check [MOM_call_grip [file join $::here grip tool_check.grx] $mom_tool_number $mom_tool_name $rpm $max_rpm]
    if {$check != 1} {
        MOM_abort_ex "Tool check failed for $mom_operation_name ($check)."
    }
    out "S$rpm [expr {$mom_spindle_direction eq "CLW" ? "M3" : "M4"}]"
    lappend ::tools "T$mom_tool_number $mom_tool_name $rpm rpm"
}
proc MOM_spindle_off {} { out "M5" }
proc MOM_coolant_on {} { out [dict get {ON M8 FLOOD M8 MIST M7 THRU M88 TAP M8} $::mom_coolant_mode] }
proc MOM_coolant_off {} { out "M9" }

# The first motion of each operation comes here first, as in posts the
# host's tools generate; this post writes it as any other.
proc MOM_initial_move {} { MOM_$::mom_motion_event }
proc MOM_first_move {} { MOM_$::mom_motion_event }
proc MOM_rapid_move {} { out "G0 [coordinates]" }
proc MOM_linear_move {} { out "G1 [coordinates] F[format %g $::mom_feed_rate]" }
proc MOM_circular_move {} {
    global mom_pos_arc_center mom_prev_pos
    set g [expr {$::mom_arc_direction eq "CLW" ? "G2" : "G3"}]
    # A helix ends at another Z: the block says so, with the feed.
    out [format "%s %s I%.3f J%.3f F%g" $g [coordinates] \
        [expr {$mom_pos_arc_center(0) - $mom_prev_pos(0)}] [expr {$mom_pos_arc_center(1) - $mom_prev_pos(1)}] \
        $::mom_feed_rate]
}

# Deep drilling: the cycle's levels come with each hole.
proc MOM_drill_deep {} {}
proc MOM_drill_deep_move {} {
    global mom_pos mom_cycle_feed_to_pos mom_cycle_rapid_to_pos mom_cycle_step1 mom_cycle_feed_rate
    out [format "G83 X%.3f Y%.3f Z%.3f R%.3f Q%.3f F%g" $mom_pos(0) $mom_pos(1) $mom_cycle_feed_to_pos(2) \
        $mom_cycle_rapid_to_pos(2) $mom_cycle_step1 $mom_cycle_feed_rate]
}
proc MOM_cycle_off {} { out "G80" }

proc MOM_end_of_path {} {
    global mom_operation_name mom_machine_time
    lappend ::posted $mom_operation_name
    MOM_output_to_listing_device [format "%-16s machine time so far %6.2f min" $mom_operation_name $mom_machine_time]
}

proc MOM_end_of_group {} {
    out "(END $::mom_group_name)"
}

# --- the end: stamps, tool sheet, hand-off ----------------------------------------
proc MOM_end_of_program {} {
    global mom_output_file_full_name mom_machine_time operator sheet lock
    out "M5"
    out "G91 G28 Z0"
    out "M30"
    out "%"
    did "posted [join $::posted {, }] to [file tail $mom_output_file_full_name], $mom_machine_time min"

    # The program is stamped from the host's variables: the posted program,
    # its output file, the machine time and the machine.
    MOM_set_attribute_program
    MOM_assign_attribute POST_OPERATOR $operator PROGRAM
    did "stamped the program with the output, the machine time, the machine and the operator"

    if {[MOM_createfile $sheet] != 0} {
        MOM_abort_ex "Cannot write $sheet"
    }
    set channel [open $sheet a]
    puts $channel [join $::tools \n]
    close $channel
    did "checked the tools with tool_check.grx and listed them in [file tail $sheet]"
    MOM_deletefile $lock

    # Stand-ins for the shop's DNC sender and listing viewer: each writes one line.
    set out [file dirname $mom_output_file_full_name]
    set sent [file join $out dnc_sent.txt]
    set listed [file join $out viewer.txt]
    MOM_run_exec /bin/sh -c {echo "sent $1" > "$2"} dnc $mom_output_file_full_name $sent
    MOM_shell_exec /bin/sh "-c \"echo listed > '$listed'\""
    # Both run on by themselves; the post waits a little for their notes.
    for {set wait 0} {$wait < 50 && !([file exists $sent] && [file exists $listed])} {incr wait} {
        after 100
    }
    did "started the DNC sender ([expr {[file exists $sent] ? {done} : {still running}}])\
 and the listing viewer ([expr {[file exists $listed] ? {done} : {still running}}])"

    MOM_box_message "Post finished" "Output: [file tail $mom_output_file_full_name]"

    puts "What the post did:"
    foreach line $::done { puts "  - $line" }
    puts "Output in $out"
    set plugin_commands [lmap command [info commands MOM_*] {
        if {$command ni $::tarvex_commands} continue
        set command
    }]
    puts "tarvex commands used: [llength $::used] of [llength $plugin_commands]"
    foreach {a b c} $::used { puts [format "  %-26s %-26s %s" $a $b $c] }
}

set tools {}
set posted {}
