// Where in the post's files things happen: the plug-in command running
// now, the command that called a C command, the "proc" of each procedure,
// and the line a failure happened on, so that every message can name the
// post's FILE:LINE.
#pragma once

#include <map>
#include <string>
#include <utility>

#include <tcl.h>

namespace momsim {

// The plug-in command running now and where it was written: `command` the
// MOM_ name (empty when none runs), `at` FILE:LINE of the script (empty
// when the command came from no file, as at the prompt).
struct CallSite {
    std::string command;
    std::string at;
};
CallSite current_call(Tcl_Interp *interp);

class Places {
public:
    explicit Places(Tcl_Interp *interp) : interp_(interp) {}
    Places(const Places &) = delete;
    Places &operator=(const Places &) = delete;

    //   proc NAME ARGS BODY
    //
    // Tcl's proc, wrapped to note where each procedure was defined, so that
    // a failure in an event names the post's file and line.
    void install();

    // FILE:LINE of the command that called the running C command, the path
    // relative to where momsim runs; "" when it came from no file.
    std::string caller_location() const;

    // Where a failure happened, as FILE:LINE, read from Tcl's error
    // information and the places the post's procedures were defined; ""
    // when it cannot be told.
    std::string location_of(const std::string &error_info) const;

    // --- used by the Tcl command ---------------------------------------------
    int define_proc(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

private:
    std::pair<std::string, int> caller_frame() const;

    Tcl_Interp *interp_;
    Tcl_CmdInfo tcl_proc_{};
    // Where each procedure was defined: FILE and the line of its "proc".
    std::map<std::string, std::pair<std::string, int>> defined_;
};

}  // namespace momsim
