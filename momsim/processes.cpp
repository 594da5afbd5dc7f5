#include "processes.h"

#include "child.h"
#include "emuhost/paths.h"
#include "tcl_text.h"

namespace momsim {
namespace {

// exit ?STATUS?
//
// In a process stand-in: ends the stand-in with STATUS (0 without one), as
// a program's exit ends the program; momsim runs on.
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
    return emuhost::find_in_folder(folder, emuhost::stem(emuhost::host_base_name(program)) + ".tcl");
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
    if (!folder_.empty()) folder_ = emuhost::real_path(folder_).value_or(folder_);
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
        if (!emuhost::is_file(file)) {
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
    ChildInterp child(parent_, "momsim_process_stand_in");
    if (child.get() == nullptr) return child.why();
    int exit_status = -1;
    Tcl_CreateObjCommand(child.get(), "exit", stand_in_exit, &exit_status, nullptr);

    // As tclsh gives a script its command line: argv0 the program, argv the
    // words after it.
    Tcl_Obj *argv = Tcl_NewListObj(0, nullptr);
    for (std::size_t i = 1; i < start.words.size(); ++i) Tcl_ListObjAppendElement(nullptr, argv, text_obj(start.words[i]));
    child.set("argv0", start.words.empty() ? start.program : start.words[0]);
    child.set("argv", argv);
    child.set("argc", Tcl_NewIntObj(static_cast<int>(start.words.empty() ? 0 : start.words.size() - 1)));

    std::string problem = child.source(file);
    if (exit_status >= 0) return exit_status != 0 ? "it exited with status " + std::to_string(exit_status) : "";
    return problem;
}

}  // namespace momsim
