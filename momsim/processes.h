//   momsim --exec-dir DIR post.tcl
//   momsim --no-exec post.tcl
//
// Processes the post starts (MOM_run_exec, MOM_shell_exec): every one is
// recorded in the transcript, and --exec-dir runs a Tcl stand-in in place
// of the program while --no-exec starts nothing at all. Without either,
// programs start as they always did, and are recorded all the same.
#pragma once

#include <functional>
#include <string>

#include <tcl.h>

#include "emuhost/machine.h"
#include "logs.h"

namespace momsim {

enum class ExecMode {
    Start,    // programs start as they always did
    StandIn,  // --exec-dir: NAME.tcl runs for a program NAME.EXT
    Record,   // --no-exec: recorded only
};

// The stand-in of a program: its base name (after the last "/" or "\")
// without its extension, with ".tcl", in `folder`, the name matched
// exactly or else without regard to case.
std::string process_stand_in_path(const std::string &folder, const std::string &program);

// Decides each process start for the host's Windows machine.
class ProcessStandIns {
public:
    // `complain` gets every message for standard error; `failed` is told of
    // each stand-in that was missing or failed (for the run's summary).
    ProcessStandIns(Tcl_Interp *parent, ExecMode mode, std::string folder, Transcript &transcript,
                    std::function<void(const std::string &)> complain,
                    std::function<void(const std::string &)> failed);

    // For WindowsMachine::set_process_hook: records the start and starts
    // the program, runs its stand-in or does nothing, by the mode.
    // A missing stand-in refuses the start, as a program that is not there
    // fails to start; a stand-in that fails (an error, "exit" with a status
    // other than 0) still started, as a program that fails has.
    emuhost::ProcessOutcome decide(const emuhost::ProcessStart &start);

private:
    // Runs the script with the child's words; answers "" or why it failed.
    std::string run(const std::string &file, const emuhost::ProcessStart &start);

    Tcl_Interp *parent_;
    ExecMode mode_;
    std::string folder_;
    Transcript &transcript_;
    std::function<void(const std::string &)> complain_;
    std::function<void(const std::string &)> failed_;
};

}  // namespace momsim
