#include "places.h"

#include <cstdio>
#include <unistd.h>

namespace momsim {
namespace {

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

// proc NAME ARGS BODY
//
// Tcl's proc, noting where each procedure was defined.
int proc_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return static_cast<Places *>(data)->define_proc(interp, objc, objv);
}

}  // namespace

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

void Places::install() {
    if (Tcl_GetCommandInfo(interp_, "::proc", &tcl_proc_))
        Tcl_CreateObjCommand(interp_, "::proc", proc_command, this, nullptr);
}

// The file and line of the command that called the running C command, as
// {path relative to where momsim runs, line}; {"", 0} when it came from no
// file.
std::pair<std::string, int> Places::caller_frame() const {
    Tcl_Interp *interp = interp_;
    std::pair<std::string, int> place{"", 0};
    Tcl_Obj *saved = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(saved);
    if (Tcl_EvalEx(interp, "info frame -1", -1, 0) == TCL_OK) {
        Tcl_Obj *frame = Tcl_GetObjResult(interp);
        Tcl_Obj *file = nullptr, *line = nullptr;
        Tcl_Obj *file_key = Tcl_NewStringObj("file", -1), *line_key = Tcl_NewStringObj("line", -1);
        Tcl_IncrRefCount(file_key);
        Tcl_IncrRefCount(line_key);
        int number = 0;
        if (Tcl_DictObjGet(nullptr, frame, file_key, &file) == TCL_OK && file &&
            Tcl_DictObjGet(nullptr, frame, line_key, &line) == TCL_OK && line &&
            Tcl_GetIntFromObj(nullptr, line, &number) == TCL_OK) {
            std::string path = Tcl_GetString(file);
            char here[4096];
            if (::getcwd(here, sizeof here)) {
                std::string prefix = std::string(here) + "/";
                if (path.compare(0, prefix.size(), prefix) == 0) path.erase(0, prefix.size());
            }
            place = {path, number};
        }
        Tcl_DecrRefCount(file_key);
        Tcl_DecrRefCount(line_key);
    }
    Tcl_SetObjResult(interp, saved);
    Tcl_DecrRefCount(saved);
    return place;
}

std::string Places::caller_location() const {
    auto place = caller_frame();
    return place.first.empty() ? "" : place.first + ":" + std::to_string(place.second);
}

int Places::define_proc(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    // Called directly, not through the interpreter, so that the body keeps
    // the place it was read from.
    int code = tcl_proc_.objProc(tcl_proc_.objClientData, interp, objc, objv);
    if (code != TCL_OK || objc != 4) return code;
    auto place = caller_frame();
    if (!place.first.empty()) {
        // Tcl names a procedure by its full name, namespaces included.
        std::string name = Tcl_GetString(objv[1]);
        if (Tcl_Command token = Tcl_FindCommand(interp, name.c_str(), nullptr, 0)) {
            Tcl_Obj *full = Tcl_NewObj();
            Tcl_IncrRefCount(full);
            Tcl_GetCommandFullName(interp, token, full);
            name = Tcl_GetString(full);
            Tcl_DecrRefCount(full);
        }
        while (name.compare(0, 2, "::") == 0) name.erase(0, 2);
        defined_[name] = place;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

std::string Places::location_of(const std::string &info) const {
    // The innermost place Tcl names: a procedure's line, which counts from
    // the line of its "proc", or a line of a sourced file.
    std::size_t at = 0;
    while ((at = info.find("\n    (", at)) != std::string::npos) {
        at += 6;
        std::size_t end = info.find('\n', at);
        std::string place = info.substr(at, end == std::string::npos ? std::string::npos : end - at);
        char name[512];
        int line = 0;
        if (std::sscanf(place.c_str(), "procedure \"%511[^\"]\" line %d)", name, &line) == 2) {
            std::string key = name;
            while (key.compare(0, 2, "::") == 0) key.erase(0, 2);
            auto found = defined_.find(key);
            if (found != defined_.end())
                return found->second.first + ":" + std::to_string(found->second.second + line - 1);
        } else if (std::sscanf(place.c_str(), "file \"%511[^\"]\" line %d)", name, &line) == 2) {
            return std::string(name) + ":" + std::to_string(line);
        }
    }
    return "";
}

}  // namespace momsim
