// momsim --post [--output FILE] [--clock TIME] post.tcl
//
// Posts the part as the host's post-processor does. The post is sourced
// first, with the program's host variables already set (output file, part,
// units, machine, date); then MOM_start_of_program, for each posted program
// group MOM_start_of_group and MOM_end_of_group around its members, for each
// operation MOM_start_of_path, the tool event, the events of its path's
// motions and records in order (the first motion by MOM_initial_move or
// MOM_first_move) and MOM_end_of_path, and last MOM_end_of_program, each
// with its variables set first. An event the post does not define is
// skipped; an error in one ends the run, naming the event and the post's
// file and line. docs/posting.md holds the event order and the table of
// variables, both from emuhost/posting.h.
#include "post.h"

#include <algorithm>
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
      output_(std::move(output)),
      commands_(commands),
      places_(places),
      complain_(std::move(complain)),
      warn_(std::move(warn)) {
    namespace posting = emuhost::posting;
    for (int i = 0; i < 3; ++i) {
        index_[i] = Tcl_NewIntObj(i);
        Tcl_IncrRefCount(index_[i]);
    }
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const char *name = posting::variable_name(static_cast<Var>(i));
        overridden_[i] = overridden.count(name) > 0;
        names_[i] = Tcl_NewStringObj((std::string("mom_") + name).c_str(), -1);
        Tcl_IncrRefCount(names_[i]);
    }
    auto event_word = [](const std::string &name) {
        EventWord made{name, Tcl_NewStringObj(name.c_str(), -1)};
        Tcl_IncrRefCount(made.word);
        return made;
    };
    for (std::size_t i = 0; i < static_cast<std::size_t>(Event::Count); ++i)
        events_.push_back(event_word(posting::event_name(static_cast<Event>(i))));
    for (std::size_t kind = 0; kind < posting::kCycleKinds.count; ++kind) {
        cycle_starts_.push_back(event_word(posting::event_name(Event::CycleStart, kind)));
        cycle_moves_.push_back(event_word(posting::event_name(Event::CycleMove, kind)));
    }
}

Poster::~Poster() {
    for (Tcl_Obj *name : names_) Tcl_DecrRefCount(name);
    for (auto *list : {&events_, &cycle_starts_, &cycle_moves_})
        for (EventWord &event : *list) Tcl_DecrRefCount(event.word);
    for (auto &entry : words_) Tcl_DecrRefCount(entry.second);
    for (Tcl_Obj *value : last_pos_values_)
        if (value) Tcl_DecrRefCount(value);
    for (Tcl_Obj *index : index_) Tcl_DecrRefCount(index);
}

std::string describe(const WalkPosition &where) {
    std::string text = where.event;
    if (!where.operation.empty()) text += ", operation " + where.operation;
    if (where.item) text += ", path[" + std::to_string(*where.item) + "]";
    return text;
}

WalkPosition Poster::position() const {
    WalkPosition where;
    if (current_event_) where.event = current_event_->name;
    if (const emuhost::CamObject *operation = emuhost::session().part().object(operation_)) {
        where.operation = operation->name;
        where.operation_tag = operation_;
    }
    where.item = item_;
    return where;
}

int Poster::report_abort(const std::string &where) {
    failure_ = "MOM_abort" + (current_event_ ? " in " + describe(position()) : std::string()) +
               (where.empty() ? "" : " (" + where + ")") + ": " +
               (commands_.abort_message().empty() ? "posting aborted" : commands_.abort_message());
    complain_(failure_);
    return 1;
}

Tcl_Obj *Poster::word(const char *text) {
    Tcl_Obj *&made = words_[text];
    if (!made) {
        made = Tcl_NewStringObj(text, -1);
        Tcl_IncrRefCount(made);
    }
    return made;
}

void Poster::store(Var variable, Tcl_Obj *index, Tcl_Obj *value) {
    Tcl_IncrRefCount(value);
    bool stored = Tcl_ObjSetVar2(interp_, names_[static_cast<std::size_t>(variable)], index, value,
                                 TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    Tcl_DecrRefCount(value);
    if (!stored) {
        complain_(std::string("cannot set mom_") + emuhost::posting::variable_name(variable) +
                  (index ? "(" + std::string(Tcl_GetString(index)) + ")" : "") + " before " +
                  (next_event_ ? next_event_->name : "the post is sourced") + ": " + Tcl_GetStringResult(interp_));
        throw EventFailed{};
    }
}

void Poster::set(Var variable, Tcl_Obj *value) {
    Tcl_IncrRefCount(value);
    if (!overridden_[static_cast<std::size_t>(variable)]) store(variable, nullptr, value);
    Tcl_DecrRefCount(value);
}

void Poster::set(Var variable, const std::string &value) {
    set(variable, Tcl_NewStringObj(value.data(), static_cast<int>(value.size())));
}

void Poster::set_point(Var variable, const double *point) {
    if (overridden_[static_cast<std::size_t>(variable)]) return;
    for (int i = 0; i < 3; ++i) store(variable, index_[i], Tcl_NewDoubleObj(point[i]));
}

void Poster::prepare() {
    emuhost::PartModel &part = emuhost::session().part();
    const emuhost::PartFile *shown = part.part(part.display_part());
    std::string part_name = shown ? emuhost::stem(emuhost::host_base_name(shown->file_name)) : "part";
    try {
        next_event_ = nullptr;
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
        set(Var::OutputFileDirectory, directory);
        set(Var::OutputFileBasename, basename);
        set(Var::OutputFileSuffix, suffix);
        // What --set gave counts: the full name is made of the parts in force.
        auto value = [&](Var variable) {
            const char *text = Tcl_GetVar(
                interp_, (std::string("mom_") + emuhost::posting::variable_name(variable)).c_str(), TCL_GLOBAL_ONLY);
            return std::string(text ? text : "");
        };
        directory = value(Var::OutputFileDirectory);
        if (!directory.empty() && directory.back() != '/' && directory.back() != '\\') directory += '/';
        std::string full = directory + value(Var::OutputFileBasename);
        if (!value(Var::OutputFileSuffix).empty()) full += "." + value(Var::OutputFileSuffix);
        set(Var::OutputFileFullName, full);
        set(Var::PartName, part_name);
        set(Var::MachineName, part.machine_name());
        set(Var::Date, date_text(part.now()));
        // The post may write in units of its own: it sets mom_output_unit
        // in its body, after this.
        const char *units = emuhost::posting::kUnits[part.units().value_or(0)];
        set(Var::PartUnit, units);
        set(Var::OutputUnit, units);
        set(Var::MachineTime, minutes(0));
        // Feeds are modal: a move that gives none keeps the one before.
        set(Var::FeedRate, 0.0);
        std::string nc = output_ ? *output_ : value(Var::OutputFileFullName);
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

bool Poster::defined(const EventWord &event) const {
    // The word keeps the command it resolved to until the post redefines
    // or deletes it: no lookup by name for each move.
    return Tcl_GetCommandFromObj(interp_, event.word) != nullptr;
}

void Poster::call(const EventWord &event) {
    current_event_ = &event;
    // An event the post does not define is skipped, as the host skips it.
    if (defined(event)) {
        int code = Tcl_EvalObjv(interp_, 1, &event.word, TCL_EVAL_GLOBAL);
        std::string info_text = code == TCL_ERROR ? error_info(interp_, code) : "";
        if (commands_.aborted()) {
            report_abort(commands_.abort_place());
            throw EventFailed{};
        }
        if (code == TCL_ERROR) {
            std::string where = places_.location_of(info_text);
            failure_ = "error in " + describe(position()) + (where.empty() ? "" : " (" + where + ")") + ": " +
                       Tcl_GetStringResult(interp_);
            complain_(failure_);
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

void Poster::plan(tag_t tag, bool selected) {
    const emuhost::CamObject *object = emuhost::session().part().object(tag);
    if (object == nullptr) return;
    if (object->kind == emuhost::ObjectKind::Operation) {
        steps_.push_back(Step{Step::Operation, tag});
    } else if (object->kind == emuhost::ObjectKind::ProgramGroup) {
        // A group stands for its operations, nested groups included, in
        // member order; the post sees it entered and left.
        steps_.push_back(Step{Step::Enter, tag});
        for (tag_t member : object->members) plan(member, false);
        steps_.push_back(Step{Step::Leave, tag});
    } else if (selected) {
        warn_("--post: the selected " + std::string(emuhost::kind_name(object->kind)) + " " +
                  (object->name.empty() ? "tag " + std::to_string(tag) : object->name) +
                  " is neither a program group nor an operation: it is not posted");
    }
}

int Poster::post() {
    emuhost::PartModel &part = emuhost::session().part();
    // The operator's selection, or with none the whole program.
    std::vector<tag_t> posted = part.selection();
    if (posted.empty() && part.program_root() != NULL_TAG) posted = part.object(part.program_root())->members;
    steps_.clear();
    std::string program;  // the last program group posted at the top
    for (tag_t tag : posted) {
        plan(tag, true);
        const emuhost::CamObject *object = part.object(tag);
        if (object && object->kind == emuhost::ObjectKind::ProgramGroup) program = object->name;
    }
    // The tools loaded, in order, so that each tool event knows the next.
    // An operation without a tool leaves the tool loaded.
    for (Step &step : steps_) {
        const emuhost::Tool *tool = step.what == Step::Operation ? &part.object(step.tag)->tool : nullptr;
        if (!tool || tool->name.empty()) continue;
        if (loads_.empty() || tool->name != loads_.back()->name || tool->number != loads_.back()->number) {
            step.load = static_cast<int>(loads_.size());
            loads_.push_back(tool);
        }
    }
    try {
        call(Event::StartOfProgram);
        for (const Step &step : steps_) {
            if (step.what == Step::Operation) {
                post_operation(step);
                continue;
            }
            Event event = step.what == Step::Enter ? Event::StartOfGroup : Event::EndOfGroup;
            next_event_ = &events_[static_cast<std::size_t>(event)];
            set(Var::GroupName, part.object(step.tag)->name);
            call(event);
        }
        // The posted program, so that MOM_set_attribute_program without
        // arguments stamps it.
        next_event_ = &events_[static_cast<std::size_t>(Event::EndOfProgram)];
        if (!program.empty()) set(Var::GroupName, program);
        set(Var::MachineTime, minutes(machine_time_));
        call(Event::EndOfProgram);
    } catch (const EventFailed &) {
        return 1;
    }
    current_event_ = nullptr;
    return 0;
}

void Poster::post_operation(const Step &step) {
    emuhost::PartModel &part = emuhost::session().part();
    const emuhost::CamObject &operation = *part.object(step.tag);
    // What UF_OPER_ask_name answers for the MOM id from here on.
    part.set_current_operation(operation.tag);
    operation_ = operation.tag;
    next_event_ = &events_[static_cast<std::size_t>(Event::StartOfPath)];
    set(Var::OperationName, operation.name);
    const emuhost::CamObject *group = part.object(part.group_of(operation.tag));
    set(Var::GroupName, group ? group->name : "");
    const emuhost::Tool &tool = operation.tool;
    set(Var::ToolName, tool.name);
    set(Var::ToolNumber, Tcl_NewIntObj(tool.number));
    set(Var::ToolDiameter, tool.diameter.value_or(0));
    set(Var::ToolCornerRadius, tool.corner_radius.value_or(0));
    set(Var::ToolLength, tool.length.value_or(0));
    set(Var::ToolAdjustRegister, Tcl_NewIntObj(tool.adjust_register.value_or(0)));
    set(Var::CutcomAdjustRegister, Tcl_NewIntObj(tool.cutcom_register.value_or(0)));
    call(Event::StartOfPath);

    if (step.load >= 0) {
        // The tool after this one; after the last, the first again.
        auto next = static_cast<std::size_t>(step.load) + 1;
        const emuhost::Tool &coming = *loads_[next < loads_.size() ? next : 0];
        Event event = step.load == 0 ? Event::FirstTool : Event::ToolChange;
        next_event_ = &events_[static_cast<std::size_t>(event)];
        set(Var::NextToolName, coming.name);
        set(Var::NextToolNumber, Tcl_NewIntObj(coming.number));
        set(Var::NextToolStatus, next < loads_.size() ? "NEXT" : "FIRST");
        call(event);
    }
    // The program's first motion, and an operation's first after a tool
    // was loaded, come as MOM_initial_move; other operations' first as
    // MOM_first_move.
    bool initial = step.load >= 0 || !moved_;
    bool first = true;
    const emuhost::ToolPath &path = operation.path;
    cycle_ = nullptr;
    for (std::size_t i = 0; i < path.size(); ++i) {
        item_ = i;
        const emuhost::PathItem &item = path.items()[i];
        if (emuhost::is_motion(item.kind)) {
            post_motion(path, item, first, initial);
            first = false;
        } else {
            post_record(path.record(item));
        }
    }
    item_.reset();

    machine_time_ += operation.machine_time.value_or(0);
    next_event_ = &events_[static_cast<std::size_t>(Event::EndOfPath)];
    set(Var::MachineTime, minutes(machine_time_));
    call(Event::EndOfPath);
    operation_ = NULL_TAG;
}

void Poster::post_motion(const emuhost::ToolPath &path, const emuhost::PathItem &item, bool first, bool initial) {
    namespace posting = emuhost::posting;
    auto move_event = static_cast<std::size_t>(Event::RapidMove) + static_cast<std::size_t>(item.kind);
    const EventWord &own = item.kind == emuhost::ItemKind::Cycle ? cycle_moves_[cycle_->cycle] : events_[move_event];
    const EventWord *event = &own;
    if (first) {
        // A post without MOM_initial_move or MOM_first_move gets the
        // motion's own event.
        const EventWord &instead = events_[static_cast<std::size_t>(initial ? Event::InitialMove : Event::FirstMove)];
        if (defined(instead)) event = &instead;
    }
    next_event_ = event;
    set(Var::MotionEvent, word(own.name.c_str() + 4));
    std::size_t type = item.type ? item.type - 1u : posting::default_motion_type(item.kind);
    set(Var::MotionType, word(posting::kMotionTypes[type]));

    // mom_prev_pos takes the values mom_pos had; the program's first motion
    // has its own end point there.
    Tcl_Obj *pos[3];
    for (int i = 0; i < 3; ++i) {
        pos[i] = Tcl_NewDoubleObj(item.pos[i]);
        Tcl_IncrRefCount(pos[i]);
    }
    if (!overridden_[static_cast<std::size_t>(Var::PrevPos)])
        for (int i = 0; i < 3; ++i) store(Var::PrevPos, index_[i], moved_ ? last_pos_values_[i] : pos[i]);
    for (int i = 0; i < 3; ++i) {
        if (last_pos_values_[i]) Tcl_DecrRefCount(last_pos_values_[i]);
        last_pos_values_[i] = pos[i];
    }
    if (!overridden_[static_cast<std::size_t>(Var::Pos)])
        for (int i = 0; i < 3; ++i) store(Var::Pos, index_[i], pos[i]);
    if (item.flags & emuhost::PathItem::kFeed) {
        feed_rate_ = path.feed(item);
        set(Var::FeedRate, feed_rate_);
    }
    if (item.kind == emuhost::ItemKind::Circular) set_arc(path, item);
    if (item.kind == emuhost::ItemKind::Cycle) {
        // Each distance is along the tool axis, +Z.
        const std::pair<Var, double> levels[] = {
            {Var::CycleRapidToPos, cycle_->rapid_to},
            {Var::CycleFeedToPos, cycle_->feed_to},
            {Var::CycleRetractToPos, cycle_->retract_to.value_or(cycle_->rapid_to)}};
        for (const auto &[variable, distance] : levels) {
            double at[3] = {item.pos[0], item.pos[1], item.pos[2] + distance};
            set_point(variable, at);
        }
    }
    call(*event);
    std::copy(item.pos, item.pos + 3, last_pos_);
    moved_ = true;
}

void Poster::set_arc(const emuhost::ToolPath &path, const emuhost::PathItem &item) {
    namespace posting = emuhost::posting;
    const double *given = path.axis(item);
    double length = std::sqrt(given[0] * given[0] + given[1] * given[1] + given[2] * given[2]);
    double axis[3] = {given[0] / length, given[1] / length, given[2] / length};
    bool clockwise = (item.flags & emuhost::PathItem::kClockwise) != 0;
    // An arc in a plane of the machine's axes turns about +Z, +X or +Y, as
    // G17, G19 and G18 see it: an axis the other way round turns the
    // direction.
    std::size_t plane = 3;  // OTHER
    const int about[3] = {2, 0, 1};  // XY, YZ, ZX
    for (std::size_t p = 0; p < 3; ++p) {
        int a = about[p];
        if (std::fabs(axis[a]) < 1 - 1e-9) continue;
        if (axis[a] < 0) clockwise = !clockwise;
        std::fill(axis, axis + 3, 0.0);
        axis[a] = 1;
        plane = p;
    }
    const double *center = path.center(item);
    emuhost::ArcMeasure arc = emuhost::measure_arc(last_pos_, item.pos, center, axis, clockwise);
    set_point(Var::PosArcCenter, center);
    set_point(Var::ArcCenter, center);
    set(Var::ArcDirection, word(posting::kDirections[clockwise ? 0 : 1]));
    set(Var::ArcRadius, arc.start_radius);
    set(Var::ArcAngle, arc.angle);
    set_point(Var::ArcAxis, axis);
    set_point(Var::PosArcAxis, axis);
    set(Var::PosArcPlane, word(posting::kArcPlanes[plane]));
}

void Poster::post_record(const emuhost::Record &record) {
    namespace posting = emuhost::posting;
    using Kind = emuhost::ItemKind;
    Event event = Event::Count;
    const EventWord *cycle_start = nullptr;
    switch (record.kind) {
    case Kind::Spindle:
        event = record.mode == emuhost::SpindleMode::Rpm ? Event::SpindleRpm : Event::SpindleCss;
        next_event_ = &events_[static_cast<std::size_t>(event)];
        set(Var::SpindleSpeed, record.speed);
        set(Var::SpindleDirection, word(posting::kDirections[record.clockwise ? 0 : 1]));
        set(Var::SpindleMode, word(posting::kSpindleModes[static_cast<std::size_t>(record.mode)]));
        break;
    case Kind::SpindleOff: event = Event::SpindleOff; break;
    case Kind::Coolant:
        event = Event::CoolantOn;
        next_event_ = &events_[static_cast<std::size_t>(event)];
        set(Var::CoolantMode, word(posting::kCoolantModes[record.coolant]));
        break;
    case Kind::CoolantOff: event = Event::CoolantOff; break;
    case Kind::Cutcom: {
        event = Event::CutcomOn;
        next_event_ = &events_[static_cast<std::size_t>(event)];
        const char *side = posting::kCutcomSides[record.left ? 0 : 1];
        set(Var::CutcomMode, word(side));
        set(Var::CutcomStatus, word(side));
        if (record.cutcom_register) set(Var::CutcomAdjustRegister, Tcl_NewIntObj(*record.cutcom_register));
        break;
    }
    case Kind::CutcomOff:
        event = Event::CutcomOff;
        next_event_ = &events_[static_cast<std::size_t>(event)];
        set(Var::CutcomStatus, word(posting::kOff));
        break;
    case Kind::CycleStart:
        cycle_ = &record;
        cycle_start = &cycle_starts_[record.cycle];
        next_event_ = cycle_start;
        set(Var::CycleRapidTo, record.rapid_to);
        set(Var::CycleFeedTo, record.feed_to);
        set(Var::CycleRetractTo, record.retract_to.value_or(record.rapid_to));
        set(Var::CycleStep1, record.step.value_or(0));
        set(Var::CycleDelay, record.dwell.value_or(0));
        set(Var::CycleFeedRate, record.feed.value_or(feed_rate_));
        break;
    case Kind::CycleOff:
        cycle_ = nullptr;
        event = Event::CycleOff;
        break;
    default: return;
    }
    if (cycle_start) call(*cycle_start);
    else call(event);
}

}  // namespace momsim
