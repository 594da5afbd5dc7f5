# mill_base.tcl: what the shop's posts share, in the folder the host's
# environment names (UGII_CAM_POST_DIR); each post sources it from there.

# The machine's words, as the definition files' templates read them.
array set mom_sys_leader {X X Y Y Z Z}
array set mom_sys_unit_code {MM 21 IN 20}
array set mom_sys_spindle_code {CLW 3 CCLW 4}
array set mom_sys_circle_code {CLW 2 CCLW 3}
array set mom_sys_cutcom_code {LEFT 41 RIGHT 42}
array set mom_sys_coolant_code {ON 8 FLOOD 8 MIST 7 THRU 88 TAP 8}

# Every NC line passes here before it is written: the listing gets each one
# with its count, and the controller gets no trailing blanks.
set mom_sys_blocks 0
proc MOM_before_output {} {
    global mom_o_buffer mom_sys_blocks
    set mom_o_buffer [string trimright $mom_o_buffer]
    incr mom_sys_blocks
    MOM_output_to_listing_device [format "%5d  %s" $mom_sys_blocks $mom_o_buffer]
}

# A comment block: the text in parentheses.
proc PB_comment {text} {
    global mom_comment
    set mom_comment $text
    MOM_do_template comment
}
