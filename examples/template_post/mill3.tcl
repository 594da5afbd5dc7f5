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

# Spindle speeds by tool; the part names the tools.
set spindle_speeds {FACE_MILL_50 6000 EM_10 12000}

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
    global mom_tool_name mom_spindle_speed spindle_speeds
    set mom_spindle_speed [dict get $spindle_speeds $mom_tool_name]
    MOM_do_template tool_change
    MOM_do_template spindle_rpm
    MOM_do_template coolant_on
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

# Events the part file does not describe yet: ready for when it does.
proc MOM_spindle_rpm {} { MOM_do_template spindle_rpm }
proc MOM_coolant_start {} { MOM_do_template coolant_on }
proc MOM_coolant_off {} { MOM_do_template coolant_off }
