// momsim --post [--output FILE] [--clock TIME] post.tcl
//
// Posts the part as the host's post-processor does. The post is sourced
// first, with the program's host variables already set (output file, part,
// machine, date); then MOM_start_of_program, for each posted program group
// MOM_start_of_group and MOM_end_of_group around its members, for each
// operation MOM_start_of_path, the tool event, its motion events and
// MOM_end_of_path, and last MOM_end_of_program, each with its variables
// set first. An event the post does not define is skipped; an error in
// one ends the run, naming the event and the post's file and line.
// docs/posting.md holds the event order and the table of variables.
#include "post.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <unistd.h>

#include "emuhost/paths.h"
#include "emuhost/session.h"
#include "tcl_text.h"
#include "usage_error.h"

namespace momsim {
namespace {

// The host's date text, as C's ctime writes it: Fri Mar 15 14:30:05 2024.
std::string date_text(emuhost::HostTime when) {
    std::tm fields{};
    fields.tm_year = when.date / 10000 - 1900;
    fields.tm_mon = when.date / 100 % 100 - 1;
    fields.tm_mday = when.date % 100;
    fields.tm_hour = when.time / 10000;
    fields.tm_min = when.time / 100 % 100;
    fields.tm_sec = when.time % 100;
    std::time_t seconds = ::timegm(&fields);  // fills in the weekday
    std::tm normal{};
    ::gmtime_r(&seconds, &normal);
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", days[normal.tm_wday], months[normal.tm_mon],
                  normal.tm_mday, normal.tm_hour, normal.tm_min, normal.tm_sec, normal.tm_year + 1900);
    return text;
}

// Minutes as the post reads them: no binary noise from the running sum.
Tcl_Obj *minutes(double value) { return Tcl_NewDoubleObj(std::round(value * 1e4) / 1e4); }

}  // namespace

Poster::Poster(Tcl_Interp *interp, std::set<std::string> overridden, std::optional<std::string> output,
               HostCommands &commands, const Places &places, Complain complain, Complain warn)
    : interp_(interp),
      overridden_(std::move(overridden)),
      output_(std::move(output)),
      commands_(commands),
      places_(places),
      complain_(std::move(complain)),
      warn_(std::move(warn)) {
    for (int i = 0; i < 3; ++i) {
        index_[i] = Tcl_NewIntObj(i);
        Tcl_IncrRefCount(index_[i]);
    }
}

Poster::~Poster() {
    for (auto &entry : names_) Tcl_DecrRefCount(entry.second);
    for (auto &entry : events_) Tcl_DecrRefCount(entry.second);
    for (Tcl_Obj *index : index_) Tcl_DecrRefCount(index);
}

int Poster::report_abort(const std::string &where) {
    failure_ = "MOM_abort" + std::string(current_event_.empty() ? "" : " in " + describe(place())) +
               (where.empty() ? "" : " (" + where + ")") + ": " +
               (commands_.abort_message().empty() ? "posting aborted" : commands_.abort_message());
    complain(failure_);
    return 1;
}

Tcl_Obj *Poster::name(const char *variable) {
    auto found = names_.find(variable);
    if (found != names_.end()) return found->second;
    Tcl_Obj *made = Tcl_NewStringObj((std::string("mom_") + variable).c_str(), -1);
    Tcl_IncrRefCount(made);
    names_.emplace(variable, made);
    return made;
}

void Poster::store(const char *variable, Tcl_Obj *index, Tcl_Obj *value) {
    Tcl_IncrRefCount(value);
    bool stored = Tcl_ObjSetVar2(interp_, name(variable), index, value, TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    Tcl_DecrRefCount(value);
    if (!stored) {
        complain("cannot set mom_" + std::string(variable) + (index ? "(" + std::string(Tcl_GetString(index)) + ")" : "") +
                 " before " + next_event_ + ": " + Tcl_GetStringResult(interp_));
        throw EventFailed{};
    }
}

void Poster::set(const char *variable, Tcl_Obj *value) {
    Tcl_IncrRefCount(value);
    if (!overridden_.count(variable)) store(variable, nullptr, value);
    Tcl_DecrRefCount(value);
}

void Poster::set(const char *variable, const std::string &value) {
    set(variable, Tcl_NewStringObj(value.data(), static_cast<int>(value.size())));
}

void Poster::set_point(const char *variable, const double (&point)[3]) {
    if (overridden_.count(variable)) return;
    for (int i = 0; i < 3; ++i) store(variable, index_[i], Tcl_NewDoubleObj(point[i]));
}

void Poster::complain(const std::string &message) { complain_(message); }

void Poster::prepare() {
    emuhost::PartModel &part = emuhost::session().part();
    const emuhost::PartFile *shown = part.part(part.display_part());
    std::string part_name = shown ? emuhost::stem(emuhost::host_base_name(shown->file_name)) : "part";
    try {
        next_event_ = "the post is sourced";
        std::string directory, basename = part_name, suffix = "ptp";
        if (output_) {
            // With drives a path is read as Windows reads it, a backslash separating too.
            bool windows = emuhost::session().windows().has_drives();
            std::string tail = windows ? emuhost::host_base_name(*output_) : emuhost::base_name(*output_);
            directory = tail.size() == output_->size() ? "./" : output_->substr(0, output_->size() - tail.size());
            basename = emuhost::stem(tail);
            suffix = emuhost::extension(tail);
        } else {
            char here[4096];
            directory = ::getcwd(here, sizeof here) ? std::string(here) + "/" : "./";
        }
        set("output_file_directory", directory);
        set("output_file_basename", basename);
        set("output_file_suffix", suffix);
        // What --set gave counts: the full name is made of the parts in force.
        auto value = [&](const char *variable) {
            const char *text = Tcl_GetVar(interp_, (std::string("mom_") + variable).c_str(), TCL_GLOBAL_ONLY);
            return std::string(text ? text : "");
        };
        directory = value("output_file_directory");
        if (!directory.empty() && directory.back() != '/' && directory.back() != '\\') directory += '/';
        std::string full = directory + value("output_file_basename");
        if (!value("output_file_suffix").empty()) full += "." + value("output_file_suffix");
        set("output_file_full_name", full);
        set("part_name", part_name);
        set("machine_name", part.machine_name());
        set("date", date_text(part.now()));
        set("machine_time", minutes(0));
        // Feeds are modal: a move that gives none keeps the one before.
        set("feed_rate", Tcl_NewDoubleObj(0));
        std::string nc = output_ ? *output_ : value("output_file_full_name");
        if (nc.empty()) throw UsageError("--post: mom_output_file_full_name is empty: no NC output file");
        commands_.name_nc_output(nc);
        commands_.open_nc_output();
    } catch (const EventFailed &) {
        throw UsageError("--post: the host variables cannot be set");
    } catch (const std::runtime_error &error) {
        if (dynamic_cast<const UsageError *>(&error)) throw;
        throw UsageError(std::string("--post: ") + error.what());
    }
}

void Poster::call(const char *event) {
    Tcl_CmdInfo info;
    current_event_ = event;
    // An event the post does not define is skipped, as the host skips it.
    if (Tcl_GetCommandInfo(interp_, event, &info)) {
        Tcl_Obj *&command = events_[event];
        if (!command) {
            command = Tcl_NewStringObj(event, -1);
            Tcl_IncrRefCount(command);
        }
        int code = Tcl_EvalObjv(interp_, 1, &command, TCL_EVAL_GLOBAL);
        std::string info_text = code == TCL_ERROR ? error_info(interp_, code) : "";
        if (commands_.aborted()) {
            report_abort(commands_.abort_place());
            throw EventFailed{};
        }
        if (code == TCL_ERROR) {
            std::string where = places_.location_of(info_text);
            failure_ = "error in " + describe(place()) + (where.empty() ? "" : " (" + where + ")") + ": " +
                       Tcl_GetStringResult(interp_);
            complain(failure_);
            if (!info_text.empty() && info_text.back() != '\n') info_text += '\n';
            Tcl_Channel err = Tcl_GetStdChannel(TCL_STDERR);
            if (err) {
                Tcl_WriteChars(err, info_text.data(), static_cast<int>(info_text.size()));
                Tcl_Flush(err);
            }
            throw EventFailed{};
        }
    }
    Tcl_ResetResult(interp_);
}

int Poster::post() {
    emuhost::PartModel &part = emuhost::session().part();
    // The operator's selection, or with none the whole program.
    std::vector<tag_t> posted = part.selection();
    if (posted.empty() && part.program_root() != NULL_TAG) posted = part.object(part.program_root())->members;
    try {
        call("MOM_start_of_program");
        std::string program;  // the last program group posted at the top
        for (tag_t tag : posted) {
            post_object(tag, true);
            const emuhost::CamObject *object = part.object(tag);
            if (object && object->kind == emuhost::ObjectKind::ProgramGroup) program = object->name;
        }
        // The posted program, so that MOM_set_attribute_program without
        // arguments stamps it.
        next_event_ = "MOM_end_of_program";
        if (!program.empty()) set("group_name", program);
        set("machine_time", minutes(machine_time_));
        call("MOM_end_of_program");
    } catch (const EventFailed &) {
        return 1;
    }
    current_event_.clear();
    return 0;
}

void Poster::post_object(tag_t tag, bool selected) {
    emuhost::PartModel &part = emuhost::session().part();
    const emuhost::CamObject *object = part.object(tag);
    if (object == nullptr) return;
    if (object->kind == emuhost::ObjectKind::Operation) {
        post_operation(*object);
    } else if (object->kind == emuhost::ObjectKind::ProgramGroup) {
        // A group stands for its operations, nested groups included, in
        // member order; the post sees it entered and left.
        std::string group = object->name;
        std::vector<tag_t> members = object->members;
        next_event_ = "MOM_start_of_group";
        set("group_name", group);
        call("MOM_start_of_group");
        for (tag_t member : members) post_object(member, false);
        next_event_ = "MOM_end_of_group";
        set("group_name", group);
        call("MOM_end_of_group");
    } else if (selected) {
        warn_("--post: the selected " + std::string(emuhost::kind_name(object->kind)) + " " +
                 (object->name.empty() ? "tag " + std::to_string(tag) : object->name) +
                 " is neither a program group nor an operation: it is not posted");
    }
}

void Poster::post_operation(const emuhost::CamObject &operation) {
    emuhost::PartModel &part = emuhost::session().part();
    // What UF_OPER_ask_name answers for the MOM id from here on.
    part.set_current_operation(operation.tag);
    operation_ = operation.name;
    next_event_ = "MOM_start_of_path";
    set("operation_name", operation.name);
    const emuhost::CamObject *group = part.object(part.group_of(operation.tag));
    set("group_name", group ? group->name : "");
    set("tool_name", operation.tool.name);
    set("tool_number", Tcl_NewIntObj(operation.tool.number));
    call("MOM_start_of_path");

    const emuhost::Tool &tool = operation.tool;
    if (!tool.name.empty()) {
        if (!tool_loaded_) call("MOM_first_tool");
        else if (tool.name != tool_.name || tool.number != tool_.number) call("MOM_tool_change");
        tool_loaded_ = true;
        tool_ = tool;
    }
    for (const emuhost::Motion &motion : operation.path) post_motion(motion);
    move_ = -1;

    machine_time_ += operation.machine_time.value_or(0);
    next_event_ = "MOM_end_of_path";
    set("machine_time", minutes(machine_time_));
    call("MOM_end_of_path");
    operation_.clear();
}

void Poster::post_motion(const emuhost::Motion &motion) {
    static const char *const events[] = {"MOM_rapid_move", "MOM_linear_move", "MOM_circular_move"};
    const char *event = events[static_cast<int>(motion.kind)];
    ++move_;
    next_event_ = event;
    set("motion_event", event + 4);
    set("motion_type", motion.kind == emuhost::MotionKind::Rapid ? "RAPID" : "CUT");
    set_point("prev_pos", moved_ ? last_pos_ : motion.pos);
    set_point("pos", motion.pos);
    if (motion.feed) set("feed_rate", Tcl_NewDoubleObj(*motion.feed));
    if (motion.kind == emuhost::MotionKind::Circular) {
        set_point("pos_arc_center", motion.center);
        set("arc_direction", motion.clockwise ? "CLW" : "CCLW");
        double dx = motion.pos[0] - motion.center[0], dy = motion.pos[1] - motion.center[1],
               dz = motion.pos[2] - motion.center[2];
        set("arc_radius", Tcl_NewDoubleObj(std::sqrt(dx * dx + dy * dy + dz * dz)));
    }
    call(event);
    for (int i = 0; i < 3; ++i) last_pos_[i] = motion.pos[i];
    moved_ = true;
}

}  // namespace momsim
