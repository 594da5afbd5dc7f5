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
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <unistd.h>

#include "emuhost/session.h"
#include "tcl_text.h"

namespace momsim {
namespace {

// The plug-in's own commands: when one is missing the plug-in is not
// loaded, which is no matter of emulation.
const char *const kPluginCommands[] = {
    "MOM_box_message",   "MOM_ui_message",      "MOM_abort_ex",    "MOM_info_message", "MOM_ui_filebox",
    "MOM_uc1600",        "MOM_uc1609",          "MOM_assign_attribute", "MOM_set_attribute_program",
    "MOM_ask_part_attr", "MOM_call_grip",       "MOM_get_ini_string", "MOM_remove_file_ex",
    "MOM_deletefile",    "MOM_createfile",      "MOM_run_exec",    "MOM_shell_exec",   "MOM_about_stub"};

Poster *poster_of(ClientData data) { return static_cast<Poster *>(data); }

// MOM_output_to_listing_device TEXT
//
// Writes TEXT as one line of the listing, the file beside the NC output
// with the extension .lpt.
int output_listing(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "text");
        return TCL_ERROR;
    }
    return poster_of(data)->output(interp, true, objv[1]);
}

// MOM_abort MESSAGE
//
// Ends the run with MESSAGE, as the host ends posting: the post cannot
// catch it. The outputs written so far are kept and the run exits 1.
int abort_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc > 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?message?");
        return TCL_ERROR;
    }
    return poster_of(data)->abort(interp, objc == 2 ? objv[1] : nullptr);
}

// unknown NAME ?ARG ...?
//
// A MOM_ command that is no plug-in command and that momsim does not
// define is a host command momsim does not emulate: an error that says so.
// Anything else goes to Tcl's own unknown.
int unknown_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return poster_of(data)->unknown(interp, objc, objv);
}

// proc NAME ARGS BODY
//
// Tcl's proc, noting where each procedure was defined, so that a failure
// in an event names the post's file and line.
int proc_command(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return poster_of(data)->define_proc(interp, objc, objv);
}

// A host path's base name without its extension: C:\parts\bracket.prt
// gives bracket.
std::string base_name(const std::string &path) {
    auto slash = path.find_last_of("/\\");
    std::string tail = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = tail.rfind('.');
    return dot == std::string::npos || dot == 0 ? tail : tail.substr(0, dot);
}

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

Poster::Poster(Tcl_Interp *interp, const Options &options, Outputs &files, Complain complain)
    : interp_(interp), options_(options), complain_(std::move(complain)), files_(files) {
    for (const auto &assignment : options_.sets) overridden_.insert(assignment.first.substr(0, assignment.first.find('(')));
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

void Poster::install() {
    Tcl_CreateObjCommand(interp_, "MOM_output_to_listing_device", output_listing, this, nullptr);
    Tcl_CreateObjCommand(interp_, "MOM_abort", abort_command, this, nullptr);
    Tcl_Eval(interp_, "namespace eval ::momsim {}");
    Tcl_CmdInfo existing;
    if (Tcl_GetCommandInfo(interp_, "::unknown", &existing) &&
        Tcl_Eval(interp_, "rename ::unknown ::momsim::tcl_unknown") == TCL_OK)
        have_tcl_unknown_ = true;
    Tcl_CreateObjCommand(interp_, "::unknown", unknown_command, this, nullptr);
    if (Tcl_GetCommandInfo(interp_, "::proc", &tcl_proc_))
        Tcl_CreateObjCommand(interp_, "::proc", proc_command, this, nullptr);
    Tcl_ResetResult(interp_);
}

// The file and line of the command that called the running C command, as
// {path relative to where momsim runs, line}; {"", 0} when it came from no
// file.
std::pair<std::string, int> Poster::caller_frame(Tcl_Interp *interp) {
    std::pair<std::string, int> place{"", 0};
    Tcl_Obj *saved = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(saved);
    if (Tcl_EvalEx(interp, "info frame -1", -1, 0) == TCL_OK) {
        Tcl_Obj *frame = Tcl_GetObjResult(interp);
        Tcl_Obj *file = nullptr, *line = nullptr;
        Tcl_Obj *file_key = Tcl_NewStringObj("file", -1), *line_key = Tcl_NewStringObj("line", -1);
        Tcl_IncrRefCount(file_key);
        Tcl_IncrRefCount(line_key);
        int number = 0;
        if (Tcl_DictObjGet(nullptr, frame, file_key, &file) == TCL_OK && file &&
            Tcl_DictObjGet(nullptr, frame, line_key, &line) == TCL_OK && line &&
            Tcl_GetIntFromObj(nullptr, line, &number) == TCL_OK) {
            std::string path = Tcl_GetString(file);
            char here[4096];
            if (::getcwd(here, sizeof here)) {
                std::string prefix = std::string(here) + "/";
                if (path.compare(0, prefix.size(), prefix) == 0) path.erase(0, prefix.size());
            }
            place = {path, number};
        }
        Tcl_DecrRefCount(file_key);
        Tcl_DecrRefCount(line_key);
    }
    Tcl_SetObjResult(interp, saved);
    Tcl_DecrRefCount(saved);
    return place;
}

std::string Poster::caller_location(Tcl_Interp *interp) {
    auto place = caller_frame(interp);
    return place.first.empty() ? "" : place.first + ":" + std::to_string(place.second);
}

int Poster::define_proc(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    // Called directly, not through the interpreter, so that the body keeps
    // the place it was read from.
    int code = tcl_proc_.objProc(tcl_proc_.objClientData, interp, objc, objv);
    if (code != TCL_OK || objc != 4) return code;
    auto place = caller_frame(interp);
    if (!place.first.empty()) {
        // Tcl names a procedure by its full name, namespaces included.
        std::string name = Tcl_GetString(objv[1]);
        if (Tcl_Command token = Tcl_FindCommand(interp, name.c_str(), nullptr, 0)) {
            Tcl_Obj *full = Tcl_NewObj();
            Tcl_IncrRefCount(full);
            Tcl_GetCommandFullName(interp, token, full);
            name = Tcl_GetString(full);
            Tcl_DecrRefCount(full);
        }
        while (name.compare(0, 2, "::") == 0) name.erase(0, 2);
        defined_[name] = place;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

std::string Poster::location_of(const std::string &info) const {
    // The innermost place Tcl names: a procedure's line, which counts from
    // the line of its "proc", or a line of a sourced file.
    std::size_t at = 0;
    while ((at = info.find("\n    (", at)) != std::string::npos) {
        at += 6;
        std::size_t end = info.find('\n', at);
        std::string place = info.substr(at, end == std::string::npos ? std::string::npos : end - at);
        char name[512];
        int line = 0;
        if (std::sscanf(place.c_str(), "procedure \"%511[^\"]\" line %d)", name, &line) == 2) {
            std::string key = name;
            while (key.compare(0, 2, "::") == 0) key.erase(0, 2);
            auto found = defined_.find(key);
            if (found != defined_.end())
                return found->second.first + ":" + std::to_string(found->second.second + line - 1);
        } else if (std::sscanf(place.c_str(), "file \"%511[^\"]\" line %d)", name, &line) == 2) {
            return std::string(name) + ":" + std::to_string(line);
        }
    }
    return "";
}

int Poster::unknown(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc >= 2) {
        std::string name = Tcl_GetString(objv[1]);
        while (name.compare(0, 2, "::") == 0) name.erase(0, 2);
        bool plugin = false;
        for (const char *command : kPluginCommands) plugin = plugin || name == command;
        if (name.compare(0, 4, "MOM_") == 0 && !plugin) {
            // In an event the failed event's report names the place; in the
            // post's own body the message does.
            std::string where = current_event_.empty() ? caller_location(interp) : "";
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s%s is a host command that momsim does not emulate",
                                                   where.empty() ? "" : (where + ": ").c_str(), name.c_str()));
            Tcl_SetErrorCode(interp, "MOMSIM", "UNEMULATED", name.c_str(), nullptr);
            return TCL_ERROR;
        }
    }
    if (!have_tcl_unknown_) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("invalid command name \"%s\"", objc >= 2 ? Tcl_GetString(objv[1]) : ""));
        return TCL_ERROR;
    }
    std::vector<Tcl_Obj *> words(objv, objv + objc);
    words[0] = Tcl_NewStringObj("::momsim::tcl_unknown", -1);
    Tcl_IncrRefCount(words[0]);
    int code = Tcl_EvalObjv(interp, objc, words.data(), 0);
    Tcl_DecrRefCount(words[0]);
    return code;
}

AtomicFile *Poster::nc_output(Tcl_Interp *interp, const char *command) {
    if (!nc_file_) {
        if (!nc_known_ && output(interp, false, nullptr) != TCL_OK) return nullptr;
        try {
            nc_file_ = &files_.open("NC output");
        } catch (const std::exception &error) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s", command, error.what()));
            return nullptr;
        }
    }
    return nc_file_;
}

int Poster::output(Tcl_Interp *interp, bool listing, Tcl_Obj *text) {
    if (!nc_known_) {
        std::string path;
        if (options_.output) {
            path = *options_.output;
        } else if (const char *full = Tcl_GetVar(interp, "mom_output_file_full_name", TCL_GLOBAL_ONLY)) {
            path = full;
        }
        if (path.empty()) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: no NC output file: post with --post, give --output FILE "
                                                   "or set mom_output_file_full_name",
                                                   listing ? "MOM_output_to_listing_device" : "MOM_output_literal"));
            return TCL_ERROR;
        }
        try {
            add_nc_output(path);
        } catch (const std::exception &error) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s",
                                                   listing ? "MOM_output_to_listing_device" : "MOM_output_literal",
                                                   error.what()));
            return TCL_ERROR;
        }
    }
    if (!text) return TCL_OK;  // only the NC output was wanted
    // Files are written in the system's encoding, as Tcl's own channels write them.
    std::string line = to_native(text);
    try {
        // Looked up once: a post writes a line per motion event.
        AtomicFile *&file = listing ? listing_file_ : nc_file_;
        if (!file) file = &files_.open(listing ? "listing" : "NC output");
        line += '\n';
        file->write(line, false);
    } catch (const std::exception &error) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(error.what(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

int Poster::abort(Tcl_Interp *interp, Tcl_Obj *message) {
    aborted_ = true;
    abort_message_ = message ? Tcl_GetString(message) : "";
    Tcl_SetObjResult(interp, Tcl_NewStringObj(abort_message_.c_str(), -1));
    Tcl_SetErrorCode(interp, "MOMSIM", "ABORT", nullptr);
    return TCL_ERROR;
}

int Poster::report_abort(const std::string &where) {
    failure_ = "MOM_abort" + std::string(current_event_.empty() ? "" : " in " + current_event_) +
               (where.empty() ? "" : " (" + where + ")") + ": " +
               (abort_message_.empty() ? "posting aborted" : abort_message_);
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
    std::string part_name = shown ? base_name(shown->file_name) : "part";
    try {
        next_event_ = "the post is sourced";
        std::string directory, basename = part_name, suffix = "ptp";
        if (options_.output) {
            const std::string &output = *options_.output;
            auto slash = output.rfind('/');
            directory = slash == std::string::npos ? "./" : output.substr(0, slash + 1);
            std::string tail = slash == std::string::npos ? output : output.substr(slash + 1);
            auto dot = tail.rfind('.');
            basename = dot == std::string::npos || dot == 0 ? tail : tail.substr(0, dot);
            suffix = dot == std::string::npos || dot == 0 ? "" : tail.substr(dot + 1);
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
        std::string nc = options_.output ? *options_.output : value("output_file_full_name");
        if (nc.empty()) throw UsageError("--post: mom_output_file_full_name is empty: no NC output file");
        add_nc_output(nc);
        // Started now, so that an NC file that cannot be written stops the
        // run before anything ran.
        files_.open("NC output");
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
        if (aborted_) {
            report_abort(location_of(info_text));
            throw EventFailed{};
        }
        if (code == TCL_ERROR) {
            std::string where = location_of(info_text);
            failure_ = "error in " + std::string(event) + (where.empty() ? "" : " (" + where + ")") + ": " +
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
        complain("--post: the selected " + std::string(emuhost::kind_name(object->kind)) + " " +
                 (object->name.empty() ? "tag " + std::to_string(tag) : object->name) +
                 " is neither a program group nor an operation: it is not posted");
    }
}

void Poster::post_operation(const emuhost::CamObject &operation) {
    emuhost::PartModel &part = emuhost::session().part();
    // What UF_OPER_ask_name answers for the MOM id from here on.
    part.set_current_operation(operation.tag);
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

    machine_time_ += operation.machine_time.value_or(0);
    next_event_ = "MOM_end_of_path";
    set("machine_time", minutes(machine_time_));
    call("MOM_end_of_path");
}

void Poster::post_motion(const emuhost::Motion &motion) {
    static const char *const events[] = {"MOM_rapid_move", "MOM_linear_move", "MOM_circular_move"};
    const char *event = events[static_cast<int>(motion.kind)];
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

// The listing lies beside the NC output, with the extension .lpt (added,
// when the NC output itself ends in .lpt).
std::string listing_path_for(const std::string &nc_path) {
    auto slash = nc_path.rfind('/');
    auto dot = nc_path.rfind('.');
    std::string stem = nc_path;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) stem = nc_path.substr(0, dot);
    std::string listing = stem + ".lpt";
    return listing == nc_path ? nc_path + ".lpt" : listing;
}

void Poster::add_nc_output(const std::string &path) {
    files_.add_checked("NC output", path, OutputKind::Text);
    try {
        files_.add_checked("listing", listing_path_for(path), OutputKind::Text);
    } catch (...) {
        files_.remove("NC output");
        throw;
    }
    nc_known_ = true;
}

}  // namespace momsim
