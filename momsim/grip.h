// GRIP program stand-ins: a Tcl script per program, run in a child
// interpreter when the plug-in calls the program through the host.
#pragma once

#include <functional>
#include <string>

#include <tcl.h>

#include "emuhost/grip.h"

namespace momsim {

// The code UF_call_grip answers when a stand-in fails; its failure text is
// set to say which stand-in failed and why.
constexpr int kGripStandInFailed = 1190;

// The stand-in of a program: its base name (after the last "/" or "\"),
// without its extension, with ".tcl", in `folder`. So both
// C:\posts\grip\tool_check.grx and /posts/tool_check.grx have the stand-in
// FOLDER/tool_check.tcl.
std::string stand_in_path(const std::string &folder, const std::string &program);

// Finds and runs stand-ins: first beside the program file itself (its
// path read through the drive mapping), then in the --grip-dir folder, then
// in the part's grip_dir (either may be empty: none). `complain` gets the
// full message of a stand-in that is missing or fails; `failed` is told of
// each one that fails, for the run's summary.
class GripStandIns {
public:
    GripStandIns(Tcl_Interp *parent, std::string folder, std::string part_folder,
                 std::function<void(const std::string &)> complain,
                 std::function<void(const std::string &)> failed = nullptr);

    // For GripHost::set_resolver: the stand-in of `program`, or none when
    // there is none in any of the places, which the complaint lists.
    emuhost::GripProgram resolve(const std::string &program) const;

    // Runs the script `file` for one call: the child interpreter sees the
    // texts in `args`, the program's path in `program` and the response in
    // `response`, which it may set to a real number. Answers 0, or
    // kGripStandInFailed when the script fails or leaves no number.
    int run(const std::string &file, emuhost::GripRun &call) const;

private:
    int fail(const std::string &file, const std::string &why) const;

    Tcl_Interp *parent_;
    std::string folder_, part_folder_;
    std::function<void(const std::string &)> complain_, failed_;
};

}  // namespace momsim
