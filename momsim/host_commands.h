//   momsim [--post] [--output FILE] post.tcl
//
// The host's own commands that a post calls, as far as momsim emulates
// them outside the output engine (output_engine.h, which writes the NC
// output through here): MOM_output_to_listing_device writes the listing,
// MOM_abort ends the posting, and any other host MOM_ command is an error
// that says momsim does not emulate it. Always there, posting or not.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <tcl.h>

#include "run_files.h"

namespace momsim {

class Places;

// Where the listing of the NC output at `nc_path` goes: beside it, with the
// extension .lpt (added, when the NC output itself ends in .lpt).
std::string listing_path_for(const std::string &nc_path);

class HostCommands {
public:
    // The NC output and its listing join `files`, the run's files, which put
    // them in place when the run ends; `output` is --output FILE, the NC
    // output without the post's variables; `in_event` answers whether an
    // event procedure runs now (the failed event's report then names the
    // place an unemulated command was called from).
    HostCommands(Tcl_Interp *interp, RunFiles &files, std::optional<std::string> output, const Places &places,
                 std::function<bool()> in_event);
    HostCommands(const HostCommands &) = delete;
    HostCommands &operator=(const HostCommands &) = delete;

    void install();

    // Names the NC output at `path` (read through the drives), and its
    // listing, among the run's files, checked against every input and
    // output. Throws UsageError.
    void name_nc_output(const std::string &path);
    // Starts writing the NC output now, so that one that cannot be written
    // stops the run before anything ran. Throws UsageError.
    void open_nc_output();

    // Set by MOM_abort: the run is to end whatever the post does next.
    bool aborted() const { return aborted_; }
    const std::string &abort_message() const { return abort_message_; }
    // FILE:LINE of the post where MOM_abort was called; "" when unknown.
    const std::string &abort_place() const { return abort_place_; }

    // The NC output, started on the first call; null after setting the
    // error (naming `command`) when there is none or it cannot be written.
    AtomicFile *nc_output(Tcl_Interp *interp, const char *command);

    // --- used by the Tcl commands ---------------------------------------------
    // Writes `text` as a line of the listing or the NC output; a null `text`
    // only names the NC output.
    int output(Tcl_Interp *interp, bool listing, Tcl_Obj *text);
    int abort(Tcl_Interp *interp, Tcl_Obj *message);
    int unknown(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

private:
    Tcl_Interp *interp_;
    RunFiles &files_;
    std::optional<std::string> output_;
    const Places &places_;
    std::function<bool()> in_event_;
    bool nc_known_ = false;               // the NC output (and listing) are among files_
    AtomicFile *nc_file_ = nullptr;       // the NC output and the listing, once
    AtomicFile *listing_file_ = nullptr;  // opened (owned by files_)
    bool have_tcl_unknown_ = false;
    bool aborted_ = false;
    std::string abort_message_;
    std::string abort_place_;
};

}  // namespace momsim
