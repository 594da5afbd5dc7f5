#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: one input per case of the command suites,
in the format command_fuzz.cpp reads. Run from anywhere; rewrites corpus/."""
import os
import shutil
import struct

COMMANDS = [
    "MOM_box_message", "MOM_ui_message", "MOM_abort_ex", "MOM_info_message",
    "MOM_ui_filebox", "MOM_uc1600", "MOM_uc1609", "MOM_assign_attribute",
    "MOM_set_attribute_program", "MOM_ask_part_attr", "MOM_call_grip", "MOM_get_ini_string",
    "MOM_remove_file_ex", "MOM_deletefile", "MOM_createfile", "MOM_run_exec",
    "MOM_shell_exec", "MOM_about_stub",
]
HOST_CALLS = [
    "ShellAboutA", "UF_ASSEM_ask_work_part", "UF_ATTR_assign", "UF_CFI_ask_file_exist",
    "UF_MOM_ask_double_array", "UF_MOM_ask_string", "UF_MOM_ask_string_array", "UF_MOM_set_int",
    "UF_MOM_set_string", "UF_NCGROUP_ask_member_list", "UF_OBJ_ask_name", "UF_OBJ_cycle_by_name",
    "UF_OPER_ask_name", "UF_OPER_ask_program_group", "UF_PART_ask_description", "UF_PART_ask_display_part",
    "UF_PART_ask_part_name", "UF_SETUP_ask_program_root", "UF_SETUP_ask_setup", "UF_UGMGR_ask_part_name_desc",
    "UF_UGMGR_ask_part_tag", "UF_UGMGR_decode_part_filename", "UF_UI_ONT_ask_selected_nodes",
    "UF_UI_create_filebox", "UF_UI_display_nonmodal_msg", "UF_UI_message_dialog", "UF_UI_set_status",
    "UF_call_grip", "UF_get_fail_message", "UF_is_ugmanager_active", "UF_print_syslog", "uc1600", "uc1601",
    "uc1609", "uc4583",
]
VARIABLES = ["operation_name", "group_name", "output_file_basename", "output_file_suffix",
             "machine_time", "machine_name", "ui_message_return", "ui_filebox_filename"]

PART, MANAGED, IN_PLACE = 1, 2, 4


def b(text):
    return text if isinstance(text, bytes) else text.encode("latin-1")


def chunk(tag, data):
    data = b(data)
    return tag.encode() + struct.pack("<H", len(data)) + data


def case(command, words=(), fault=None, throw=False, code=0, flags=0, variables=(), arrays=(),
         answers=(), file=None, grip=None, buttons=(), fileboxes=(), strings=(), reals=()):
    head = COMMANDS.index(command)
    fault_byte = 0
    if fault is not None:
        fault_byte = 1 + 2 * HOST_CALLS.index(fault) + (1 if throw else 0)
    out = bytes([head, fault_byte, code, flags])
    for word in words:
        out += chunk("w", word)
    for name, value in variables:
        out += chunk("v", bytes([VARIABLES.index(name)]) + b(value))
    for which, index, value in arrays:
        out += chunk("a", bytes([which, index]) + b(value))
    for line in answers:
        out += chunk("d", line)
    for response in buttons:
        out += chunk("D", struct.pack("<i", response))
    for response, text in fileboxes:
        out += chunk("F", struct.pack("<b", response) + b(text))
    for response, text in strings:
        out += chunk("S", struct.pack("<b", response) + b(text))
    for response, values in reals:
        out += chunk("R", struct.pack("<b", response) + b"".join(struct.pack("<d", v) for v in values))
    if file is not None:
        out += chunk("c", file)
    if grip is not None:
        out += chunk("g", struct.pack("<d", grip))
    return out


STAMP_VARIABLES = [("group_name", "P1"), ("operation_name", "OP1"), ("output_file_basename", "bracket"),
                   ("output_file_suffix", "ptp"), ("machine_time", "00:12:30"), ("machine_name", "DMU 50")]

CASES = {
    "box_message": case("MOM_box_message", ["Tool change", "T12"]),
    "box_message_limit": case("MOM_box_message", ["x" * 130, "y"]),
    "box_message_empty": case("MOM_box_message"),
    "ui_message_yesno": case("MOM_ui_message", ["QUESTION", "YESNO", "Continue?"], answers=["No"]),
    "ui_message_lines": case("MOM_ui_message", ["WARNING"] + ["line %d" % i for i in range(40)], buttons=[1]),
    "ui_message_bad_answer": case("MOM_ui_message", ["ERROR", "OKCANCEL", "x"], answers=["7"]),
    "abort_ex": case("MOM_abort_ex", ["Post stopped", "no tool"]),
    "abort_ex_many": case("MOM_abort_ex", ["l%d" % i for i in range(64)]),
    "info_message": case("MOM_info_message", ["CASCADE", "first", "second"]),
    "info_message_limit": case("MOM_info_message", ["RIGHT"] + ["z" * 200] * 6),
    "ui_filebox": case("MOM_ui_filebox", ["C:\\out\\a.ptp", "*.ptp"], fileboxes=[(3, "C:\\out\\b.ptp")]),
    "ui_filebox_long": case("MOM_ui_filebox", ["n" * 132, "*"], answers=["3 " + "f" * 300]),
    "ui_filebox_cancel": case("MOM_ui_filebox", ["a"], answers=["2"]),
    "uc1600": case("MOM_uc1600", ["Enter feed", "250"], strings=[(5, "300")]),
    "uc1600_long": case("MOM_uc1600", ["c" * 100, "d" * 200], answers=["5 " + "e" * 200]),
    "uc1609": case("MOM_uc1609", ["3", "labels", "values"],
                   arrays=[(0, 0, "Feed"), (0, 1, "Speed"), (0, 2, "Depth"),
                           (1, 0, "250"), (1, 1, "1200.5"), (1, 2, "-0.5")],
                   reals=[(3, [300.0, 1500.0])]),
    "uc1609_14": case("MOM_uc1609", ["14", "l", "v"],
                      arrays=[(0, i, "label%d" % i * 3) for i in range(14)] + [(1, i, str(i * 1.5)) for i in range(14)]),
    "uc1609_bad_value": case("MOM_uc1609", ["2", "l", "v"], arrays=[(0, 0, "a"), (0, 1, "b"), (1, 0, "1"), (1, 1, "x")]),
    "assign_attribute": case("MOM_assign_attribute", ["OPU_NOTE", "checked"], flags=PART),
    "assign_attribute_time": case("MOM_assign_attribute", ["OPU_WHEN", "TIME", "PROGRAM"], flags=PART,
                                  variables=[("operation_name", "OP1")]),
    "assign_attribute_long_title": case("MOM_assign_attribute", ["t" * 51, "v"], flags=PART),
    "set_attribute_program_vars": case("MOM_set_attribute_program", flags=PART, variables=STAMP_VARIABLES),
    "set_attribute_program_args": case("MOM_set_attribute_program", ["P2", "bracket.ptp", "00:10", "DMU"], flags=PART),
    "set_attribute_program_throw": case("MOM_set_attribute_program", flags=PART, variables=STAMP_VARIABLES,
                                        fault="UF_MOM_ask_string", throw=True),
    "ask_part_attr_native": case("MOM_ask_part_attr", flags=PART),
    "ask_part_attr_managed": case("MOM_ask_part_attr", flags=PART | MANAGED),
    "ask_part_attr_in_place": case("MOM_ask_part_attr", flags=PART | IN_PLACE),
    "call_grip": case("MOM_call_grip", ["prog.grx", "a", "b"], file="GRIP", grip=2.5),
    "call_grip_huge": case("MOM_call_grip", ["prog.grx"] + ["t"] * 40, file="", grip=1e300),
    "call_grip_missing": case("MOM_call_grip", ["missing.grx"]),
    "ini_string": case("MOM_get_ini_string", ["tool.ini", "Tools", "T1"],
                       file="[Tools]\r\nT1 = \"End mill 10\"\r\nT2=Drill\r\n"),
    "ini_string_long_value": case("MOM_get_ini_string", ["tool.ini", "S", "K"], file="[S]\nK=" + "v" * 400 + "\n"),
    "ini_string_missing": case("MOM_get_ini_string", ["none.ini", "S", "K"]),
    "remove_file": case("MOM_remove_file_ex", ["old.ptp"], file="x"),
    "remove_file_long": case("MOM_remove_file_ex", ["r" * 300]),
    # An empty name maps to the scratch folder itself, which must stay.
    "remove_file_folder": case("MOM_remove_file_ex", [""]),
    "deletefile": case("MOM_deletefile", ["old.ptp"], file="x"),
    "deletefile_missing": case("MOM_deletefile", ["gone.ptp"]),
    "createfile": case("MOM_createfile", ["new.ptp"]),
    "createfile_over_limit": case("MOM_createfile", ["c" * 256]),
    "run_exec": case("MOM_run_exec", ["/bin/true", "a b", 'q"uote', "back\\\\"]),
    "run_exec_long": case("MOM_run_exec", ["prog"] + ["w" * 100] * 20),
    "shell_exec": case("MOM_shell_exec", ["notes.txt", "-x"]),
    "about_stub": case("MOM_about_stub"),
    "about_stub_throw": case("MOM_about_stub", fault="ShellAboutA", throw=True),
    "binary_words": case("MOM_ui_message", [bytes(range(1, 256)), b"\xff\xfe", b""]),
    "sixty_four": case("MOM_info_message", ["w%d" % i for i in range(64)]),
    "fail_dialog": case("MOM_ui_message", ["x"], fault="UF_UI_message_dialog", code=0),
    "fail_syslog": case("MOM_uc1600", ["cue"], fault="UF_print_syslog", code=5),
    "fail_member_list": case("MOM_set_attribute_program", ["P1", "a.ptp", "t", "m"], flags=PART,
                             fault="UF_NCGROUP_ask_member_list", code=1),
}


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in CASES.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
    print("%d seeds in %s" % (len(CASES), folder))


if __name__ == "__main__":
    main()
