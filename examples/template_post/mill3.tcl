# mill3.tcl: a 3-axis mill post written the host's way. The event handlers
# are here; the formats, addresses and block templates are in mill3.def
# beside it; what the shop's posts share is in mill_base.tcl, in the folder
# the environment variable UGII_CAM_POST_DIR names.
#
#   momsim --post --env UGII_CAM_POST_DIR=common/ --part demo_part.json mill3.tcl

set cam_post_dir [MOM_ask_env_var UGII_CAM_POST_DIR]
if {![info exists mom_sys_post_initialized]} {
    source ${cam_post_dir}mill_base.tcl
    MOM_set_debug_mode OFF
    set mom_sys_post_initialized 1
}
# The shop's custom commands call the plug-in.
if {[info commands MOM_assign_attribute] eq ""} {
    MOM_run_user_function tarvex ufusr
}

proc MOM_start_of_program {} {
    global mom_part_name mom_date
    MOM_load_kinematics
    # The tape's start and title go out unnumbered.
    MOM_set_seq_off
    MOM_output_literal "%"
    MOM_output_literal "O0001 ([string toupper $mom_part_name])"
    MOM_set_seq_on
    PB_comment "POSTED $mom_date"
    MOM_do_template absolute_mode
}

proc MOM_start_of_path {} {
    global mom_operation_name
    PB_comment "OPERATION $mom_operation_name"
    PB_CMD_stamp_operation
}

# The shop's custom command: the plug-in stamps each posted operation.
proc PB_CMD_stamp_operation {} {
    MOM_assign_attribute POSTED_WITH "mill3"
}

proc tool_change {} {
    MOM_do_template tool_change
    # After a tool change every axis and the feed are written again.
    MOM_force once G_motion X Y Z F
}
proc MOM_first_tool {} { tool_change }
proc MOM_tool_change {} {
    MOM_do_template coolant_off
    MOM_do_template spindle_off
    tool_change
}

proc MOM_rapid_move {} { MOM_do_template rapid_move }
proc MOM_linear_move {} { MOM_do_template linear_move }
proc MOM_circular_move {} { MOM_do_template circular_move }

proc MOM_end_of_program {} {
    MOM_do_template coolant_off
    MOM_do_template spindle_off
    MOM_do_template return_home
    MOM_do_template end_of_program
    MOM_set_seq_off
    MOM_output_literal "%"
}

# The machine-control records of the tool path.
proc MOM_spindle_rpm {} { MOM_do_template spindle_rpm }
proc MOM_spindle_off {} { MOM_do_template spindle_off }
proc MOM_coolant_on {} { MOM_do_template coolant_on }
proc MOM_coolant_off {} { MOM_do_template coolant_off }
proc MOM_cutcom_on {} { MOM_do_template cutcom_on }
proc MOM_cutcom_off {} { MOM_do_template cutcom_off }

# Canned cycles: each kind's start picks its G code and writes its words
# again at the first hole; each hole is one block, in which only what
# changed is written.
foreach {kind code} {drill 81 drill_dwell 82 drill_deep 83 drill_break_chip 73 tap 84 bore 85
                     bore_dwell 89 bore_drag 86 bore_no_drag 76 bore_back 87 bore_manual 88} {
    proc MOM_$kind {} "cycle_start $code"
    proc MOM_${kind}_move {} { MOM_do_template cycle_move }
}
proc cycle_start {code} {
    global mom_cycle_delay mom_cycle_step1 mom_sys_cycle_code mom_sys_cycle_peck mom_sys_cycle_dwell
    set mom_sys_cycle_code $code
    # No peck or dwell: an empty value leaves the word out.
    set mom_sys_cycle_peck [expr {$mom_cycle_step1 > 0 ? $mom_cycle_step1 : ""}]
    set mom_sys_cycle_dwell [expr {$mom_cycle_delay > 0 ? round($mom_cycle_delay * 1000) : ""}]
    MOM_force once G_motion X Y Z R Q P F
}
proc MOM_cycle_off {} {
    MOM_do_template cycle_off
    # Out of the cycle every axis is written again.
    MOM_force once X Y Z
}
