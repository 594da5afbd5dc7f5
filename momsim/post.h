// Posting a part as the host's post-processor does: the host variables and
// the walk over the posted operations, calling the post's event procedures.
// What the events write goes through the host's output commands
// (host_commands.h); where a failure happened is read by places.h.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include <tcl.h>

#include "emuhost/part.h"
#include "host_commands.h"
#include "places.h"

namespace momsim {

class Poster {
public:
    using Complain = std::function<void(const std::string &)>;

    // Works on the session's part. `overridden` names the variables --set
    // gave (without mom_ or an array index), which the walk leaves alone;
    // `output` is --output FILE; the NC output is named and written through
    // `commands`; `complain` reports a problem on standard error, `warn` one
    // that lets the posting go on.
    Poster(Tcl_Interp *interp, std::set<std::string> overridden, std::optional<std::string> output,
           HostCommands &commands, const Places &places, Complain complain, Complain warn);
    ~Poster();
    Poster(const Poster &) = delete;
    Poster &operator=(const Poster &) = delete;

    // With --post, before the post is sourced: the program's variables and
    // the NC output, started so that an output that cannot be written stops
    // the run before anything ran. Throws UsageError.
    void prepare();

    // After the post was sourced: the walk. Answers the exit status: 0, or 1
    // after reporting the failed event.
    int post();

    // Whether an event procedure runs now (or the posting stopped in one).
    bool in_event() const { return !current_event_.empty(); }
    // Where the walk is now (or stopped).
    WalkPlace place() const { return {current_event_, operation_, move_}; }
    // Reports MOM_abort, which happened at `where`; answers 1.
    int report_abort(const std::string &where);
    // What ended the posting (an event's error, MOM_abort), as reported;
    // empty while nothing did.
    const std::string &failure() const { return failure_; }

private:
    struct EventFailed {};

    Tcl_Obj *name(const char *variable);  // mom_VARIABLE, made once
    void store(const char *variable, Tcl_Obj *index, Tcl_Obj *value);
    // Each leaves alone a variable that --set gave.
    void set(const char *variable, Tcl_Obj *value);
    void set(const char *variable, const std::string &value);
    void set_point(const char *variable, const double (&point)[3]);
    void complain(const std::string &message);
    void call(const char *event);
    void post_object(tag_t tag, bool selected);
    void post_operation(const emuhost::CamObject &operation);
    void post_motion(const emuhost::Motion &motion);

    Tcl_Interp *interp_;
    std::set<std::string> overridden_;  // variables --set gave: never set here
    std::optional<std::string> output_;
    HostCommands &commands_;
    const Places &places_;
    Complain complain_, warn_;
    std::unordered_map<std::string, Tcl_Obj *> names_;   // variable names, made once
    std::unordered_map<std::string, Tcl_Obj *> events_;  // event commands, made once
    Tcl_Obj *index_[3] = {nullptr, nullptr, nullptr};     // 0, 1, 2
    std::string next_event_;  // what the variables being set are for
    std::string failure_;
    std::string current_event_;
    // The walk's running state.
    double machine_time_ = 0;
    bool tool_loaded_ = false;
    emuhost::Tool tool_;
    bool moved_ = false;
    double last_pos_[3] = {0, 0, 0};
    std::string operation_;  // the operation being posted
    long move_ = -1;         // the index of its move being posted
};

}  // namespace momsim
