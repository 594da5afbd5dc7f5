// Posting a part as the host's post-processor does: the host variables and
// the walk over the posted operations, calling the post's event procedures.
// What the events write goes through the host's output commands
// (host_commands.h); where a failure happened is read by places.h. The
// names of every event and variable come from emuhost/posting.h.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <tcl.h>

#include "emuhost/part.h"
#include "emuhost/posting.h"
#include "host_commands.h"
#include "places.h"

namespace momsim {

// Where the walk is, as a plain value: what a report of a posting that
// stopped early names.
struct WalkPosition {
    std::string event;      // the event being called; empty between events
    std::string operation;  // the operation being posted; empty outside one
    tag_t operation_tag = NULL_TAG;
    std::optional<std::size_t> item;  // the index in the operation's path of the item being posted
};

// As messages say it: "MOM_linear_move, operation FACE, path[5]".
std::string describe(const WalkPosition &where);

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
    bool in_event() const { return current_event_ != nullptr; }
    // Where the walk is (or where it stopped).
    WalkPosition position() const;
    // Reports MOM_abort, which happened at `where`; answers 1.
    int report_abort(const std::string &where);
    // What ended the posting (an event's error, MOM_abort), as reported;
    // empty while nothing did.
    const std::string &failure() const { return failure_; }

private:
    using Event = emuhost::posting::Event;
    using Var = emuhost::posting::Var;
    struct EventFailed {};

    // An event's command word, made once.
    struct EventWord {
        std::string name;
        Tcl_Obj *word = nullptr;
    };

    // What the walk posts, in order: groups entered and left, operations.
    struct Step {
        enum What { Enter, Operation, Leave } what;
        tag_t tag;
        int load = -1;  // an operation that loads a tool: its index in loads_
    };
    void plan(tag_t tag, bool selected);

    // Each leaves alone a variable that --set gave.
    void set(Var variable, Tcl_Obj *value);
    void set(Var variable, const std::string &value);
    void set(Var variable, double value) { set(variable, Tcl_NewDoubleObj(value)); }
    void set_point(Var variable, const double *point);
    void store(Var variable, Tcl_Obj *index, Tcl_Obj *value);
    Tcl_Obj *word(const char *text);  // a constant text, made once

    void call(const EventWord &event);
    void call(Event event) { call(events_[static_cast<std::size_t>(event)]); }
    bool defined(const EventWord &event) const;

    void post_operation(const Step &step);
    void post_motion(const emuhost::ToolPath &path, const emuhost::PathItem &item, bool first, bool loaded);
    void set_arc(const emuhost::ToolPath &path, const emuhost::PathItem &item);
    void post_record(const emuhost::Record &record);

    Tcl_Interp *interp_;
    std::array<bool, static_cast<std::size_t>(Var::Count)> overridden_{};  // variables --set gave: never set here
    std::optional<std::string> output_;
    HostCommands &commands_;
    const Places &places_;
    Complain complain_, warn_;
    std::array<Tcl_Obj *, static_cast<std::size_t>(Var::Count)> names_{};  // mom_NAME
    std::vector<EventWord> events_;                  // by Event
    std::vector<EventWord> cycle_starts_, cycle_moves_;  // by cycle kind
    std::unordered_map<const char *, Tcl_Obj *> words_;  // by the text's address: texts of the tables
    Tcl_Obj *index_[3] = {nullptr, nullptr, nullptr};  // 0, 1, 2
    const EventWord *next_event_ = nullptr;  // what the variables being set are for; null: the post's sourcing
    std::string failure_;
    const EventWord *current_event_ = nullptr;

    // The walk's running state.
    std::vector<Step> steps_;
    std::vector<const emuhost::Tool *> loads_;  // the tools loaded, in order
    double machine_time_ = 0;
    double feed_rate_ = 0;
    bool tool_loaded_ = false;
    emuhost::Tool tool_;
    bool moved_ = false;
    double last_pos_[3] = {0, 0, 0};
    Tcl_Obj *last_pos_values_[3] = {nullptr, nullptr, nullptr};  // what mom_pos got: mom_prev_pos next
    const emuhost::Record *cycle_ = nullptr;  // the cycle in force
    tag_t operation_ = NULL_TAG;
    std::optional<std::size_t> item_;
};

}  // namespace momsim
