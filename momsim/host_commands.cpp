#include "host_commands.h"

#include <stdexcept>
#include <vector>

#include "commands.h"
#include "drives.h"
#include "emuhost/paths.h"
#include "places.h"
#include "tcl_text.h"

namespace momsim {
namespace {

HostCommands *commands_of(ClientData data) { return static_cast<HostCommands *>(data); }

// MOM_output_to_listing_device TEXT
//
// Writes TEXT as one line of the listing, the file beside the NC output
// with the extension .lpt.
int output_listing(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "text");
        return TCL_ERROR;
    }
    return commands_of(data)->output(interp, true, objv[1]);
}

// MOM_abort ?MESSAGE?
//
// Ends the posting with MESSAGE, as the host ends it: the post's script
// stops at once, even inside a catch, and nothing it would write after
// reaches an output. The run exits 1; the NC output is left as it was and
// what was written is kept beside it as NAME.partial.
int abort_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc > 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?message?");
        return TCL_ERROR;
    }
    return commands_of(data)->abort(interp, objc == 2 ? objv[1] : nullptr);
}

// unknown NAME ?ARG ...?
//
// A MOM_ command that is no plug-in command and that momsim does not
// define is a host command momsim does not emulate: an error that says so.
// Anything else goes to Tcl's own unknown.
int unknown_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return commands_of(data)->unknown(interp, objc, objv);
}

}  // namespace

std::string listing_path_for(const std::string &nc_path) {
    std::string name = emuhost::base_name(nc_path);
    std::string listing = nc_path.substr(0, nc_path.size() - name.size()) + emuhost::stem(name) + ".lpt";
    return listing == nc_path ? nc_path + ".lpt" : listing;
}

HostCommands::HostCommands(Tcl_Interp *interp, RunFiles &files, std::optional<std::string> output,
                           const Places &places, std::function<bool()> in_event)
    : interp_(interp), files_(files), output_(std::move(output)), places_(places), in_event_(std::move(in_event)) {}

void HostCommands::install() {
    Tcl_CreateObjCommand(interp_, "MOM_output_to_listing_device", output_listing, this, nullptr);
    Tcl_CreateObjCommand(interp_, "MOM_abort", abort_command, this, nullptr);
    Tcl_Eval(interp_, "namespace eval ::momsim {}");
    Tcl_CmdInfo existing;
    if (Tcl_GetCommandInfo(interp_, "::unknown", &existing) &&
        Tcl_Eval(interp_, "rename ::unknown ::momsim::tcl_unknown") == TCL_OK)
        have_tcl_unknown_ = true;
    Tcl_CreateObjCommand(interp_, "::unknown", unknown_command, this, nullptr);
    Tcl_ResetResult(interp_);
}

int HostCommands::unknown(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc >= 2) {
        std::string name = Tcl_GetString(objv[1]);
        while (name.compare(0, 2, "::") == 0) name.erase(0, 2);
        if (name.compare(0, 4, "MOM_") == 0 && !is_plugin_command(name)) {
            // In an event the failed event's report names the place; in the
            // post's own body the message does.
            std::string where = in_event_() ? "" : places_.caller_location();
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s%s is a host command that momsim does not emulate",
                                                   where.empty() ? "" : (where + ": ").c_str(), name.c_str()));
            Tcl_SetErrorCode(interp, "MOMSIM", "UNEMULATED", name.c_str(), nullptr);
            return TCL_ERROR;
        }
    }
    if (!have_tcl_unknown_) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("invalid command name \"%s\"", objc >= 2 ? Tcl_GetString(objv[1]) : ""));
        return TCL_ERROR;
    }
    std::vector<Tcl_Obj *> words(objv, objv + objc);
    words[0] = Tcl_NewStringObj("::momsim::tcl_unknown", -1);
    Tcl_IncrRefCount(words[0]);
    int code = Tcl_EvalObjv(interp, objc, words.data(), 0);
    Tcl_DecrRefCount(words[0]);
    return code;
}

int HostCommands::output(Tcl_Interp *interp, bool listing, Tcl_Obj *text) {
    const char *command = listing ? "MOM_output_to_listing_device" : "MOM_output_literal";
    if (aborted_) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: the posting was ended by MOM_abort: nothing more is written",
                                               command));
        return TCL_ERROR;
    }
    if (!nc_known_) {
        std::string path;
        if (output_) {
            path = *output_;
        } else if (const char *full = Tcl_GetVar(interp, "mom_output_file_full_name", TCL_GLOBAL_ONLY)) {
            path = full;
        }
        if (path.empty()) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: no NC output file: post with --post, give --output FILE "
                                                   "or set mom_output_file_full_name",
                                                   command));
            return TCL_ERROR;
        }
        try {
            name_nc_output(path);
        } catch (const std::exception &error) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s", command, error.what()));
            return TCL_ERROR;
        }
    }
    if (!text) return TCL_OK;  // only the NC output was wanted
    // Files are written in the system's encoding, as Tcl's own channels write them.
    std::string line = to_native(text);
    try {
        // Looked up once: a post writes a line per motion event.
        AtomicFile *&file = listing ? listing_file_ : nc_file_;
        if (!file) file = &files_.open(listing ? RunFile::Listing : RunFile::NcOutput);
        line += '\n';
        file->write(line, false);
    } catch (const std::exception &error) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(error.what(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

AtomicFile *HostCommands::nc_output(Tcl_Interp *interp, const char *command) {
    if (!nc_file_) {
        if (!nc_known_ && output(interp, false, nullptr) != TCL_OK) return nullptr;
        try {
            nc_file_ = &files_.open(RunFile::NcOutput);
        } catch (const std::exception &error) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s", command, error.what()));
            return nullptr;
        }
    }
    return nc_file_;
}

int HostCommands::abort(Tcl_Interp *interp, Tcl_Obj *message) {
    aborted_ = true;
    abort_message_ = message ? Tcl_GetString(message) : "";
    abort_place_ = places_.caller_location();
    // Unwinds every script level at once, past every catch: the post's
    // script ends here, as the host ends it.
    Tcl_CancelEval(interp, Tcl_NewStringObj(abort_message_.c_str(), -1), nullptr, TCL_CANCEL_UNWIND);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(abort_message_.c_str(), -1));
    Tcl_SetErrorCode(interp, "MOMSIM", "ABORT", nullptr);
    return TCL_ERROR;
}

void HostCommands::name_nc_output(const std::string &written) {
    std::string path = local_path_of(output_ && written == *output_ ? "--output" : "mom_output_file_full_name", written);
    files_.add_checked(RunFile::NcOutput, path);
    try {
        files_.add_checked(RunFile::Listing, listing_path_for(path));
    } catch (...) {
        files_.remove(RunFile::NcOutput);
        throw;
    }
    nc_known_ = true;
}

void HostCommands::open_nc_output() { files_.open(RunFile::NcOutput); }

}  // namespace momsim
