#include "commands.h"

#include <cstring>

namespace momsim {
namespace {

struct CommandWords {
    const char *name;
    int least;   // words the command needs to do its work
    int ignored; // 0, or the largest word count that is ignored as a whole
};

// MOM_set_attribute_program reads variables with up to three words and
// ignores them: one to three words are a call that meant the four-word form.
const CommandWords kCommands[] = {
    {"MOM_box_message", 1, 0},     {"MOM_ui_message", 1, 0},        {"MOM_abort_ex", 1, 0},
    {"MOM_info_message", 1, 0},    {"MOM_ui_filebox", 0, 0},        {"MOM_uc1600", 0, 0},
    {"MOM_uc1609", 3, 0},          {"MOM_assign_attribute", 1, 0},  {"MOM_set_attribute_program", 0, 3},
    {"MOM_ask_part_attr", 0, 0},   {"MOM_call_grip", 1, 0},         {"MOM_get_ini_string", 3, 0},
    {"MOM_remove_file_ex", 1, 0},  {"MOM_deletefile", 1, 0},        {"MOM_createfile", 1, 0},
    {"MOM_run_exec", 1, 0},        {"MOM_shell_exec", 1, 0},        {"MOM_about_stub", 0, 0},
};

const CommandWords *find(const std::string &name) {
    for (const auto &command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

std::string words_text(int count) { return std::to_string(count) + (count == 1 ? " word" : " words"); }

// Walks the frames from the innermost out: the first one running a MOM_
// command names it; the first one read from a file names FILE:LINE.
const char *const kWhere = R"tcl(
    set command ""
    set at ""
    for {set i [info frame]} {$i > 0} {incr i -1} {
        set frame [info frame $i]
        if {$command eq "" && [dict exists $frame cmd] &&
                [regexp {^\s*(MOM_\w+)} [dict get $frame cmd] -> name]} {
            set command $name
        }
        if {$command ne "" && [dict exists $frame file] && [dict exists $frame line]} {
            set at [dict get $frame file]:[dict get $frame line]
            break
        }
    }
    list $command $at
)tcl";

}  // namespace

bool is_plugin_command(const std::string &name) { return find(name) != nullptr; }

std::string short_call(const std::string &name, int words) {
    const CommandWords *command = find(name);
    if (command == nullptr) return "";
    if (words < command->least)
        return name + " uses " + words_text(command->least) + ", given " + std::to_string(words);
    if (words > 0 && words <= command->ignored)
        return name + " ignores " + words_text(words) + " and reads variables instead; it uses " +
               words_text(command->ignored + 1) + " or none";
    return "";
}

CallSite current_call(Tcl_Interp *interp) {
    CallSite site;
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    // Run as a procedure-less script in a fresh namespace-free frame: its
    // own variables stay out of the script's.
    // One command object, so that the lambda is compiled once.
    static Tcl_Obj *const script = [] {
        Tcl_Obj *made = Tcl_ObjPrintf("apply {{} {%s}}", kWhere);
        Tcl_IncrRefCount(made);
        return made;
    }();
    if (Tcl_EvalObjEx(interp, script, TCL_EVAL_GLOBAL) == TCL_OK) {
        Tcl_Obj *result = Tcl_GetObjResult(interp);
        Tcl_Obj *command = nullptr, *at = nullptr;
        if (Tcl_ListObjIndex(nullptr, result, 0, &command) == TCL_OK && command) site.command = Tcl_GetString(command);
        if (Tcl_ListObjIndex(nullptr, result, 1, &at) == TCL_OK && at) site.at = Tcl_GetString(at);
    }
    Tcl_RestoreInterpState(interp, saved);
    return site;
}

std::string load_hint(const std::string &error_message, bool plugin_loaded) {
    if (plugin_loaded) return "";
    static const char kHead[] = "invalid command name \"";
    auto start = error_message.find(kHead);
    if (start == std::string::npos) return "";
    start += std::strlen(kHead);
    auto end = error_message.find('"', start);
    if (end == std::string::npos) return "";
    std::string name = error_message.substr(start, end - start);
    if (!is_plugin_command(name)) return "";
    return name + " is a command of the plug-in, and no plug-in is loaded: load it with "
                  "--load tarvex, or in the script with MOM_run_user_function LIBRARY ufusr";
}

}  // namespace momsim
