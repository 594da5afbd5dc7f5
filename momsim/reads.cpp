#include "reads.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "commands.h"
#include "emuhost/machine.h"
#include "tcl_text.h"

namespace momsim {
namespace {

// ::momsim::read_noted CALL CODE RESULT leave
//
// The execution trace of a watched command, on its way out.
int read_noted(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    int code = 0;
    if (objc == 5 && Tcl_GetIntFromObj(nullptr, objv[2], &code) == TCL_OK) {
        // The trace's own work must leave the command's result alone.
        Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
        static_cast<ReadFiles *>(data)->returned(objv[1], code);
        Tcl_RestoreInterpState(interp, saved);
    }
    return TCL_OK;
}

// Whether open's ACCESS reads the file: "r", "r+", "a+" and the like, or
// a list of flags with RDONLY, or RDWR without TRUNC.
bool reads(Tcl_Obj *access) {
    int count = 0;
    Tcl_Obj **flags = nullptr;
    if (Tcl_ListObjGetElements(nullptr, access, &count, &flags) != TCL_OK || count == 0) return false;
    std::string first = Tcl_GetString(flags[0]);
    if (count == 1 && !first.empty() && first[0] >= 'a' && first[0] <= 'z')
        return first[0] == 'r' || (first[0] == 'a' && first.find('+') != std::string::npos);
    bool read_only = false, read_write = false, truncate = false;
    for (int i = 0; i < count; ++i) {
        std::string flag = Tcl_GetString(flags[i]);
        read_only |= flag == "RDONLY";
        read_write |= flag == "RDWR";
        truncate |= flag == "TRUNC";
    }
    return read_only || (read_write && !truncate);
}

}  // namespace

void ReadFiles::watch() {
    if (!made_) {
        Tcl_CreateObjCommand(interp_, "::momsim::read_noted", read_noted, this, nullptr);
        made_ = true;
    }
    std::vector<std::string> names = {"open", "source"};
    for (const PluginCommand &command : plugin_commands())
        if (command.kind == CommandKind::Ini) names.push_back(command.name);
    for (const std::string &name : names) {
        Tcl_CmdInfo info;
        if (!Tcl_GetCommandInfo(interp_, name.c_str(), &info)) continue;
        std::string script = "if {[lsearch -exact [trace info execution ::" + name +
                             "] {leave ::momsim::read_noted}] < 0} {trace add execution ::" + name +
                             " leave ::momsim::read_noted}";
        if (Tcl_EvalEx(interp_, script.c_str(), -1, TCL_EVAL_GLOBAL) != TCL_OK) Tcl_ResetResult(interp_);
    }
}

void ReadFiles::returned(Tcl_Obj *call, int code) {
    int count = 0;
    Tcl_Obj **words = nullptr;
    if (code != TCL_OK || Tcl_ListObjGetElements(nullptr, call, &count, &words) != TCL_OK || count < 2) return;
    std::string name = Tcl_GetString(words[0]);
    if (name == "open" || name == "::open") {
        std::string path = to_native(words[1]);
        // "|command" opens a pipe, not a file.
        if (path.empty() || path[0] == '|') return;
        if (count == 2 || reads(words[2])) note(path);
    } else if (name == "source" || name == "::source") {
        note(to_native(words[count - 1]));
    } else {
        note(to_native(words[1]));
    }
}

void ReadFiles::note(const std::string &path) {
    // The file the post read, as it stands now: through the drives, and
    // made absolute, since the post may change its folder later.
    std::string local = path;
    if (emuhost::WindowsMachine::has_drive_letter(path)) {
        auto mapped = emuhost::windows_machine().local_path(path);
        if (!mapped) return;
        local = *mapped;
    }
    struct stat info {};
    if (::stat(local.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (local[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here) == nullptr) return;
        local = std::string(here) + "/" + local;
    }
    if (noted_.insert(local).second) files_.add_input(RunFile::Read, local);
}

}  // namespace momsim
