# A short post-processing session with every tarvex command: it asks the
# operator, reads the part and the shop's INI file, checks the tools with a
# GRIP program, writes the NC file, hands it on and stamps the program group.
#
#   momsim --load tarvex --answers demo_answers.txt demo_post.tcl
#
# It writes only into mom_output_file_directory (--set
# output_file_directory=DIR), or else into a fresh temporary folder.

set here [file dirname [file normalize [info script]]]
if {[info commands MOM_box_message] eq ""} {
    MOM_run_user_function tarvex ufusr
}
# Notes each tarvex command as it runs, for the summary at the end.
set used {}
foreach command [lsort [info commands MOM_*]] {
    if {$command eq "MOM_run_user_function"} { continue }
    trace add execution $command enter [list apply {{command args} {
        if {$command ni $::used} { lappend ::used $command }
    }} $command]
}

if {![info exists mom_output_file_directory]} {
    set temp [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}]
    set mom_output_file_directory [file join $temp tarvex_demo_[pid]]
}
file mkdir $mom_output_file_directory
set out [file normalize $mom_output_file_directory]
set done {}
proc did {text} { lappend ::done $text }

# --- what is posted -----------------------------------------------------------
MOM_about_stub
set part [MOM_ask_part_attr]
did "read the part: $part, \"$mom_ask_part_desc\""

set ini [file join $here demo_shop.ini]
set machine [MOM_get_ini_string $ini Machine name]
set max_rpm [MOM_get_ini_string $ini Machine max_spindle_rpm]
set suffix [MOM_get_ini_string $ini Output suffix]
did "read the shop settings: machine $machine, at most $max_rpm rpm, .$suffix files"

# The operations of PROGRAM_1 with their tools; CHAMFER has none yet.
set operations {
    FACE_MILLING {tool 1 name FACE_MILL_50 rpm 6000}
    CAVITY_MILL  {tool 4 name EM_10 rpm 12000}
    CHAMFER      {}
}

# --- the operator -------------------------------------------------------------
if {[MOM_ui_message QUESTION YESNO "Post $part on the $machine?"] != 1} {
    MOM_abort_ex "Post cancelled by the operator."
}
set operator [MOM_uc1600 "Operator initials" "XX"]
did "asked the operator: $operator"

array set mom_chk_label {0 "Safe Z" 1 "Max feed"}
array set mom_chk_value {0 50.0 1 1200.0}
set response [MOM_uc1609 2 chk_label chk_value]
did "had the operator check safe Z and feed (response $response)"

set output [MOM_ui_filebox [file join $out bracket.$suffix] "*.$suffix"]
if {$mom_ui_filebox_return != 3} {
    MOM_abort_ex "No output file chosen."
}

# --- the NC file ----------------------------------------------------------------
set lock "$output.lock"
MOM_createfile $lock
MOM_remove_file_ex [file join $out old_listing.txt]
if {[MOM_createfile $output] != 0} {
    MOM_abort_ex "Cannot write $output"
}
set nc [open $output a]
puts $nc "%"
puts $nc "(PART $part  MACHINE $machine  OPERATOR $operator)"

set grip [file join $here grip tool_check.grx]
set posted {}
foreach {operation tool} $operations {
    MOM_info_message RIGHT "Operation: $operation"
    if {![dict exists $tool tool]} {
        # MOM_abort_ex stops the post; here the post catches it and skips.
        if {[catch {MOM_abort_ex "No tool in operation $operation" "Operation skipped."} message]} {
            did "skipped $operation: [lindex [split $message \n] 0]"
        }
        continue
    }
    set check [MOM_call_grip $grip [dict get $tool tool] [dict get $tool name] [dict get $tool rpm] $max_rpm]
    if {$check != 1} {
        MOM_abort_ex "Tool check failed for $operation ($check)."
    }
    puts $nc "(OPERATION $operation  T[dict get $tool tool] [dict get $tool name])"
    puts $nc "T[dict get $tool tool] M6"
    puts $nc "S[dict get $tool rpm] M3"
    lappend posted $operation

    set mom_operation_name $operation
    MOM_assign_attribute POSTED_BY $operator
    MOM_assign_attribute POSTED_AT TIME
}
puts $nc "M30"
puts $nc "%"
close $nc
did "checked the tools with tool_check.grx and posted [join $posted {, }] to [file tail $output]"
MOM_deletefile $lock

# --- the program group ----------------------------------------------------------
set mom_group_name PROGRAM_1
set mom_output_file_basename [file rootname [file tail $output]]
set mom_output_file_suffix $suffix
set mom_machine_time 12.50
set mom_machine_name $machine
MOM_set_attribute_program
MOM_assign_attribute POST_OPERATOR $operator PROGRAM
did "stamped PROGRAM_1 with the output, the machine and the operator"

# --- handing the file on ------------------------------------------------------
# Stand-ins for the shop's DNC sender and listing viewer: each writes one line.
set sent [file join $out dnc_sent.txt]
set listed [file join $out listing.txt]
MOM_run_exec /bin/sh -c {echo "sent $1" > "$2"} dnc $output $sent
MOM_shell_exec /bin/sh "-c \"echo listed > '$listed'\""
# Both run on by themselves; the post waits a little for their notes.
for {set wait 0} {$wait < 50 && !([file exists $sent] && [file exists $listed])} {incr wait} {
    after 100
}
did "started the DNC sender ([expr {[file exists $sent] ? {done} : {still running}}])\
 and the listing viewer ([expr {[file exists $listed] ? {done} : {still running}}])"

MOM_box_message "Post finished" "Output: [file tail $output]"

puts "What the post did:"
foreach line $done { puts "  - $line" }
puts "Output in $out"
puts "tarvex commands used: [llength $used] of [expr {[llength [info commands MOM_*]] - 1}]"
foreach {a b c} $used { puts [format "  %-26s %-26s %s" $a $b $c] }
