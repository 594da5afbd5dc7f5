// Posting a part as the host's post-processor does: the host variables, the
// walk over the posted operations calling the post's event procedures, the
// host's own output commands, and the host commands momsim does not emulate.
#pragma once

#include <functional>
#include <map>
#include <unordered_map>
#include <set>
#include <string>
#include <vector>

#include <tcl.h>

#include "emuhost/part.h"
#include "outputs.h"
#include "options.h"

namespace momsim {

// Where the listing of the NC output at `nc_path` goes.
std::string listing_path_for(const std::string &nc_path);

class Poster {
public:
    using Complain = std::function<void(const std::string &)>;

    // Works on the session's part; the NC output and the listing join
    // `files`, the run's outputs, which put them in place when the run
    // ends; `complain` reports a problem on standard error.
    Poster(Tcl_Interp *interp, const Options &options, Outputs &files, Complain complain);
    ~Poster();
    Poster(const Poster &) = delete;
    Poster &operator=(const Poster &) = delete;

    // The listing's output command, MOM_abort, and the answer for host
    // commands that momsim does not emulate. Always there, posting or not.
    // (MOM_output_literal and the other output commands are the output
    // engine's, output_engine.h.)
    void install();

    // With --post, before the post is sourced: the program's variables and
    // the NC output, started so that an output that cannot be written stops
    // the run before anything ran. Throws UsageError.
    void prepare();

    // After the post was sourced: the walk. Answers the exit status: 0, or 1
    // after reporting the failed event.
    int post();

    // Set by MOM_abort: the run is to end whatever the post does next.
    bool aborted() const { return aborted_; }
    // Reports the abort; answers 1.
    int report_abort(const std::string &where);
    // What ended the posting (an event's error, MOM_abort), as reported;
    // empty while nothing did.
    const std::string &failure() const { return failure_; }

    // Where a failure happened, as FILE:LINE, read from Tcl's error
    // information and the places the post's procedures were defined; ""
    // when it cannot be told.
    std::string location_of(const std::string &error_info) const;

    // --- used by the Tcl commands ---------------------------------------------
    int output(Tcl_Interp *interp, bool listing, Tcl_Obj *text);
    // The NC output, started on the first call; null after setting the
    // error (naming `command`) when there is none or it cannot be written.
    AtomicFile *nc_output(Tcl_Interp *interp, const char *command);
    int abort(Tcl_Interp *interp, Tcl_Obj *message);
    int unknown(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
    int define_proc(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

private:
    struct EventFailed {};

    std::pair<std::string, int> caller_frame(Tcl_Interp *interp);
    std::string caller_location(Tcl_Interp *interp);

    Tcl_Obj *name(const char *variable);  // mom_VARIABLE, made once
    void store(const char *variable, Tcl_Obj *index, Tcl_Obj *value);
    // Each leaves alone a variable that --set gave.
    void set(const char *variable, Tcl_Obj *value);
    void set(const char *variable, const std::string &value);
    void set_point(const char *variable, const double (&point)[3]);
    void complain(const std::string &message);
    // Adds the NC output at `path` and its listing to the run's outputs,
    // checked against every input and output. Throws UsageError.
    void add_nc_output(const std::string &path);
    void call(const char *event);
    void post_object(tag_t tag, bool selected);
    void post_operation(const emuhost::CamObject &operation);
    void post_motion(const emuhost::Motion &motion);

    Tcl_Interp *interp_;
    const Options &options_;
    Complain complain_;
    Outputs &files_;          // the run's outputs, the NC output and listing among them
    AtomicFile *nc_file_ = nullptr;       // the NC output and the listing, once
    AtomicFile *listing_file_ = nullptr;  // opened (owned by the outputs)
    bool nc_known_ = false;   // the NC output (and listing) are among files_
    std::set<std::string> overridden_;  // variables --set gave: never set here
    Tcl_CmdInfo tcl_proc_{};
    // Where each procedure was defined: FILE and the line of its "proc".
    std::map<std::string, std::pair<std::string, int>> defined_;
    std::unordered_map<std::string, Tcl_Obj *> names_;   // variable names, made once
    std::unordered_map<std::string, Tcl_Obj *> events_;  // event commands, made once
    Tcl_Obj *index_[3] = {nullptr, nullptr, nullptr};     // 0, 1, 2
    std::string next_event_;  // what the variables being set are for
    bool have_tcl_unknown_ = false;
    bool aborted_ = false;
    std::string abort_message_;
    std::string failure_;
    std::string current_event_;
    // The walk's running state.
    double machine_time_ = 0;
    bool tool_loaded_ = false;
    emuhost::Tool tool_;
    bool moved_ = false;
    double last_pos_[3] = {0, 0, 0};
};

}  // namespace momsim
