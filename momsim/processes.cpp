#include "exec.h"

#include <climits>
#include <cstdlib>

#include "locate.h"

namespace momsim {
namespace {

Tcl_Obj *text_obj(const std::string &text) { return Tcl_NewStringObj(text.data(), static_cast<int>(text.size())); }

// A stand-in's "exit N" ends the stand-in with status N, as a program's
// exit ends the program; momsim runs on.
int stand_in_exit(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    int status = 0;
    if (objc > 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?returnCode?");
        return TCL_ERROR;
    }
    if (objc == 2 && Tcl_GetIntFromObj(interp, objv[1], &status) != TCL_OK) return TCL_ERROR;
    *static_cast<int *>(data) = status;
    Tcl_SetObjResult(interp, Tcl_NewStringObj("stand-in exited", -1));
    Tcl_SetErrorCode(interp, "MOMSIM", "EXIT", nullptr);
    return TCL_ERROR;
}

}  // namespace

std::string process_stand_in_path(const std::string &folder, const std::string &program) {
    std::string name = program.substr(program.find_last_of("/\\") + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return find_in_folder(folder, name + ".tcl");
}

ProcessStandIns::ProcessStandIns(Tcl_Interp *parent, ExecMode mode, std::string folder, Transcript &transcript,
                                 std::function<void(const std::string &)> complain,
                                 std::function<void(const std::string &)> failed)
    : parent_(parent),
      mode_(mode),
      folder_(std::move(folder)),
      transcript_(transcript),
      complain_(std::move(complain)),
      failed_(std::move(failed)) {
    // Made absolute: a post that changes its folder still finds its stand-ins.
    char resolved[PATH_MAX];
    if (!folder_.empty() && ::realpath(folder_.c_str(), resolved) != nullptr) folder_ = resolved;
}

emuhost::ProcessOutcome ProcessStandIns::decide(const emuhost::ProcessStart &start) {
    nlohmann::ordered_json record{{"call", start.call}, {"program", start.program}, {"words", start.words}};
    if (start.call == "ShellExecuteA")
        record["operation"] = start.operation ? nlohmann::ordered_json(*start.operation) : nullptr;
    if (start.directory) record["directory"] = *start.directory;

    emuhost::ProcessOutcome outcome = emuhost::ProcessOutcome::Start;
    if (mode_ == ExecMode::Start) {
        record["run"] = "program";
    } else if (mode_ == ExecMode::Record) {
        record["run"] = "nothing";
        outcome = emuhost::ProcessOutcome::Done;
    } else {
        std::string file = process_stand_in_path(folder_, start.program);
        record["stand_in"] = file;
        if (!is_file(file)) {
            record["run"] = "nothing";
            record["problem"] = "no stand-in";
            transcript_.write(record);
            std::string message = "no process stand-in for " + start.program + ": there is no file " + file;
            complain_(message);
            failed_(message);
            return emuhost::ProcessOutcome::Refused;
        }
        record["run"] = "stand-in";
        std::string problem = run(file, start);
        if (!problem.empty()) {
            record["problem"] = problem.substr(0, problem.find('\n'));
            std::string message = "process stand-in " + file + " failed: " + problem;
            complain_(message);
            failed_(message);
        }
        outcome = emuhost::ProcessOutcome::Done;
    }
    transcript_.write(record);
    return outcome;
}

std::string ProcessStandIns::run(const std::string &file, const emuhost::ProcessStart &start) {
    Tcl_Interp *interp = Tcl_CreateSlave(parent_, "momsim_process_stand_in", 0);
    if (interp == nullptr) return "no child interpreter: " + std::string(Tcl_GetStringResult(parent_));
    int exit_status = -1;
    Tcl_CreateObjCommand(interp, "exit", stand_in_exit, &exit_status, nullptr);

    // As tclsh gives a script its command line: argv0 the program, argv the
    // words after it.
    Tcl_Obj *argv = Tcl_NewListObj(0, nullptr);
    for (std::size_t i = 1; i < start.words.size(); ++i) Tcl_ListObjAppendElement(nullptr, argv, text_obj(start.words[i]));
    Tcl_SetVar2Ex(interp, "argv0", nullptr, text_obj(start.words.empty() ? start.program : start.words[0]),
                  TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp, "argv", nullptr, argv, TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp, "argc", nullptr, Tcl_NewIntObj(static_cast<int>(start.words.empty() ? 0 : start.words.size() - 1)),
                  TCL_GLOBAL_ONLY);

    Tcl_Obj *path = text_obj(file);
    Tcl_IncrRefCount(path);
    int code = Tcl_FSEvalFileEx(interp, path, nullptr);
    Tcl_DecrRefCount(path);
    std::string problem;
    if (exit_status >= 0) {
        if (exit_status != 0) problem = "it exited with status " + std::to_string(exit_status);
    } else if (code == TCL_ERROR) {
        const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
        problem = info ? info : Tcl_GetStringResult(interp);
    } else if (code != TCL_OK && code != TCL_RETURN) {
        problem = "the script ended with \"break\" or \"continue\" outside of a loop";
    }
    Tcl_DeleteInterp(interp);
    return problem;
}

}  // namespace momsim
