# Example: tarvex in a post-processor script of the host. Copy the lines you
# need into your own post (its .tcl file); the host calls the MOM_ event
# handlers below as it posts.
#
# tarvex_dir is the folder that holds the DLLs; the DLL that matches the
# host's pointer width is chosen here, so the same post runs in the 64-bit
# and in the 32-bit host.

set tarvex_dir {C:\posts\tarvex}
if {$tcl_platform(pointerSize) == 8} {
    set tarvex_dll [file join $tarvex_dir tarvex_x64.dll]
} else {
    set tarvex_dll [file join $tarvex_dir tarvex_x32.dll]
}
MOM_run_user_function [file nativename $tarvex_dll] ufusr

proc MOM_start_of_program {} {
    global mom_output_file_basename
    # The part's identity, also in $mom_ask_part_name and the like.
    MOM_ask_part_attr
    set machine [MOM_get_ini_string {C:\posts\shop.ini} Machine name]
    if {$machine eq ""} { set machine "the machine" }
    set answer [MOM_ui_message QUESTION YESNO "Post $mom_output_file_basename for $machine?"]
    if {$answer == 3} {
        # No: MOM_abort_ex stops the post with the reason.
        MOM_abort_ex "Posting cancelled by the operator"
    }
    MOM_info_message "Posting $mom_output_file_basename for $machine"
}

proc MOM_end_of_path {} {
    # Records who posted the operation on the operation itself.
    global env
    if {[info exists env(USERNAME)]} {
        MOM_assign_attribute POSTED_BY $env(USERNAME)
    }
}

proc MOM_end_of_program {} {
    # The program group gets the output file, time, machine time and
    # machine name of this run (from the post's mom_ variables).
    MOM_set_attribute_program
    MOM_box_message "Post finished"
}
