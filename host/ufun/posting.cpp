// The one table of posting: the part file's posting fields, the events and
// the host variables, and the markdown the docs hold of them.
#include "emuhost/posting.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace emuhost::posting {
namespace {

const char *const motion_kinds[] = {"rapid", "linear", "circular", "cycle"};
const char *const motion_types[] = {"RAPID",    "ENGAGE",   "CUT",     "RETRACT",   "FIRST_CUT", "APPROACH",
                                    "STEPOVER", "DEPARTURE", "RETURN", "TRAVERSAL", "SIDECUT",   "FROM",
                                    "GOHOME",   "GOHOME_DEFAULT", "CYCLE", "UNDEFINED"};
const char *const directions[] = {"CLW", "CCLW"};
const char *const spindle_modes[] = {"RPM", "SFM", "SMM"};
const char *const coolant_modes[] = {"ON", "FLOOD", "MIST", "THRU", "TAP"};
const char *const cutcom_sides[] = {"LEFT", "RIGHT"};
const char *const cycle_kinds[] = {"drill",        "drill_dwell", "drill_deep",   "drill_break_chip",
                                   "tap",          "bore",        "bore_dwell",   "bore_drag",
                                   "bore_no_drag", "bore_back",   "bore_manual"};
const char *const units[] = {"MM", "IN"};
const char *const arc_planes[] = {"XY", "YZ", "ZX", "OTHER"};

template <std::size_t N>
constexpr Names names_of(const char *const (&list)[N]) {
    return Names{list, N};
}

constexpr unsigned bit(ItemKind kind) { return 1u << static_cast<unsigned>(kind); }
constexpr unsigned kMoves = bit(ItemKind::Rapid) | bit(ItemKind::Linear) | bit(ItemKind::Circular);
constexpr unsigned kAllMotions = kMoves | bit(ItemKind::Cycle);
constexpr unsigned kArcs = bit(ItemKind::Circular);

}  // namespace

const Names kMotionKinds = names_of(motion_kinds);
const Names kMotionTypes = names_of(motion_types);
const Names kDirections = names_of(directions);
const Names kSpindleModes = names_of(spindle_modes);
const Names kCoolantModes = names_of(coolant_modes);
const Names kCutcomSides = names_of(cutcom_sides);
const Names kCycleKinds = names_of(cycle_kinds);
const Names kUnits = names_of(units);
const Names kArcPlanes = names_of(arc_planes);
const char *const kOff = "OFF";

std::optional<std::size_t> Names::find(const std::string &name) const {
    for (std::size_t i = 0; i < count; ++i)
        if (name == names[i]) return i;
    return std::nullopt;
}

std::string Names::joined() const {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += (i ? ", " : "") + std::string(names[i]);
    return text;
}

std::size_t default_motion_type(ItemKind kind) {
    const char *type = kind == ItemKind::Rapid ? "RAPID" : kind == ItemKind::Cycle ? "CYCLE" : "CUT";
    return *kMotionTypes.find(type);
}

// --- Fields -----------------------------------------------------------------------

const std::vector<Field> &fields() {
    using K = FieldKind;
    using H = Holder;
    static const std::vector<Field> table = {
        {H::Part, "units", K::Choice, false, 0, 0, &kUnits, 0, H::Part,
         "the part's units: `mom_part_unit` and `mom_output_unit`; default `MM`"},

        {H::Tool, "name", K::Text, true, 0, 0, nullptr, 0, H::Tool, "`mom_tool_name`"},
        {H::Tool, "number", K::Whole, false, 0, kMaxRegister, nullptr, 0, H::Tool, "`mom_tool_number`; default 0"},
        {H::Tool, "diameter", K::Number, false, 0, kMaxLength, nullptr, 0, H::Tool, "`mom_tool_diameter`"},
        {H::Tool, "corner_radius", K::Number, false, 0, kMaxLength, nullptr, 0, H::Tool, "`mom_tool_corner1_radius`"},
        {H::Tool, "length", K::Number, false, 0, kMaxLength, nullptr, 0, H::Tool, "`mom_tool_length`"},
        {H::Tool, "adjust_register", K::Whole, false, 0, kMaxRegister, nullptr, 0, H::Tool,
         "the length offset register, `mom_tool_adjust_register`"},
        {H::Tool, "cutcom_register", K::Whole, false, 0, kMaxRegister, nullptr, 0, H::Tool,
         "the cutter compensation register, `mom_cutcom_adjust_register`"},

        {H::Motion, "motion", K::Choice, true, 0, 0, &kMotionKinds, kAllMotions, H::Motion,
         "which event: `MOM_rapid_move`, `MOM_linear_move`, `MOM_circular_move`, or the hole event of the cycle "
         "in force (`MOM_drill_move`, ...)"},
        {H::Motion, "pos", K::Point, true, -kMaxLength, kMaxLength, nullptr, kAllMotions, H::Motion,
         "the end point (a hole's position), `mom_pos`"},
        {H::Motion, "type", K::Choice, false, 0, 0, &kMotionTypes, kAllMotions, H::Motion,
         "`mom_motion_type`; default `RAPID` for a rapid move, `CYCLE` for a hole, `CUT` otherwise"},
        {H::Motion, "feed", K::Number, false, 0, kMaxFeed, nullptr, kMoves, H::Motion,
         "the feed rate from this move on, `mom_feed_rate`; absent: the one before stays"},
        {H::Motion, "center", K::Point, true, -kMaxLength, kMaxLength, nullptr, kArcs, H::Motion,
         "the arc's centre, `mom_pos_arc_center`"},
        {H::Motion, "direction", K::Choice, true, 0, 0, &kDirections, kArcs, H::Motion,
         "clockwise or counterclockwise seen from the tip of `axis`, `mom_arc_direction`"},
        {H::Motion, "axis", K::Vector, false, -kMaxLength, kMaxLength, nullptr, kArcs, H::Motion,
         "the axis the arc turns about, any length; default `[0, 0, 1]`: the arc's plane, `mom_arc_axis`"},

        {H::Record, "spindle", K::Object, false, 0, 0, nullptr, 0, H::Spindle,
         "`MOM_spindle_rpm` (mode `RPM`) or `MOM_spindle_css` (`SFM`, `SMM`); `\"OFF\"`: `MOM_spindle_off`"},
        {H::Record, "coolant", K::Switch, false, 0, 0, &kCoolantModes, 0, H::Record,
         "`MOM_coolant_on` with `mom_coolant_mode`; `\"OFF\"`: `MOM_coolant_off`"},
        {H::Record, "cutcom", K::Switch, false, 0, 0, &kCutcomSides, 0, H::Record,
         "`MOM_cutcom_on` with `mom_cutcom_mode` and `mom_cutcom_status`; `\"OFF\"`: `MOM_cutcom_off`"},
        {H::Record, "register", K::Whole, false, 0, kMaxRegister, nullptr, 0, H::Record,
         "with `cutcom` `LEFT` or `RIGHT` only: `mom_cutcom_adjust_register`; absent: the tool's"},
        {H::Record, "cycle", K::Object, false, 0, 0, nullptr, 0, H::Cycle,
         "starts a cycle: the event named after its kind (`MOM_drill_deep`, ...); `\"OFF\"`: `MOM_cycle_off`"},

        {H::Spindle, "speed", K::Number, true, 0, kMaxSpeed, nullptr, 0, H::Spindle,
         "revolutions or surface length per minute, `mom_spindle_speed`"},
        {H::Spindle, "direction", K::Choice, false, 0, 0, &kDirections, 0, H::Spindle,
         "`mom_spindle_direction`; default `CLW`"},
        {H::Spindle, "mode", K::Choice, false, 0, 0, &kSpindleModes, 0, H::Spindle,
         "`mom_spindle_mode`; default `RPM`"},

        {H::Cycle, "kind", K::Choice, true, 0, 0, &kCycleKinds, 0, H::Cycle,
         "the cycle: its start event `MOM_KIND`, its hole event `MOM_KIND_move`"},
        {H::Cycle, "rapid_to", K::Number, true, -kMaxLength, kMaxLength, nullptr, 0, H::Cycle,
         "where the feed starts, from the hole along the tool axis: `mom_cycle_rapid_to`"},
        {H::Cycle, "feed_to", K::Number, true, -kMaxLength, kMaxLength, nullptr, 0, H::Cycle,
         "the depth, from the hole along the tool axis (negative: into the part): `mom_cycle_feed_to`"},
        {H::Cycle, "retract_to", K::Number, false, -kMaxLength, kMaxLength, nullptr, 0, H::Cycle,
         "where the tool retracts to, from the hole: `mom_cycle_retract_to`; default `rapid_to`"},
        {H::Cycle, "step", K::Number, false, 0, kMaxLength, nullptr, 0, H::Cycle,
         "the peck depth, `mom_cycle_step1`; default 0"},
        {H::Cycle, "dwell", K::Number, false, 0, kMaxDwell, nullptr, 0, H::Cycle,
         "seconds at the bottom, `mom_cycle_delay`; default 0"},
        {H::Cycle, "feed", K::Number, false, 0, kMaxFeed, nullptr, 0, H::Cycle,
         "`mom_cycle_feed_rate`; default the feed rate in force"},
    };
    return table;
}

const Field *field(Holder holder, const std::string &name) {
    for (const Field &each : fields())
        if (each.holder == holder && name == each.name) return &each;
    return nullptr;
}

std::vector<const Field *> fields_of(Holder holder) {
    std::vector<const Field *> found;
    for (const Field &each : fields())
        if (each.holder == holder) found.push_back(&each);
    return found;
}

std::vector<const Field *> fields_of(ItemKind motion) {
    std::vector<const Field *> found;
    for (const Field &each : fields())
        if (each.holder == Holder::Motion && (each.motions & bit(motion))) found.push_back(&each);
    return found;
}

// --- Events -------------------------------------------------------------------------

namespace {

struct EventRow {
    Event first;
    Event last;  // rows that name several events alike
    const char *when;
};

const char *const event_names[] = {
    "MOM_start_of_program", "MOM_start_of_group", "MOM_start_of_path", "MOM_first_tool", "MOM_tool_change",
    "MOM_initial_move", "MOM_first_move", "MOM_rapid_move", "MOM_linear_move", "MOM_circular_move",
    "MOM_spindle_rpm", "MOM_spindle_css", "MOM_spindle_off", "MOM_coolant_on", "MOM_coolant_off",
    "MOM_cutcom_on", "MOM_cutcom_off", "MOM_", "MOM_", "MOM_cycle_off", "MOM_end_of_path",
    "MOM_end_of_group", "MOM_end_of_program",
};
static_assert(std::size(event_names) == static_cast<std::size_t>(Event::Count), "one name per event");

const EventRow event_rows[] = {
    {Event::StartOfProgram, Event::StartOfProgram, "once, first"},
    {Event::StartOfGroup, Event::StartOfGroup,
     "each program group entered (a posted group and each group nested in it); a selected operation brings no "
     "group events"},
    {Event::StartOfPath, Event::StartOfPath, "each operation, after it became the current operation"},
    {Event::FirstTool, Event::FirstTool, "the first operation that has a tool"},
    {Event::ToolChange, Event::ToolChange,
     "an operation whose tool (name or number) differs from the one before; an operation without a tool calls "
     "neither tool event and leaves the tool loaded"},
    {Event::InitialMove, Event::InitialMove,
     "in place of the motion's own event: the first motion of the program and of each operation that loaded a "
     "tool (`MOM_first_tool`, `MOM_tool_change`); every move variable is set, and `mom_motion_event` names the "
     "motion's own event, so that the post calls `MOM_$mom_motion_event`. A post that does not define it gets "
     "the motion's own event"},
    {Event::FirstMove, Event::FirstMove,
     "the same, for the first motion of every other operation"},
    {Event::RapidMove, Event::CircularMove, "each motion of the path of that kind, in order"},
    {Event::SpindleRpm, Event::SpindleCss, "a spindle record: mode `RPM`, or `SFM` and `SMM` (constant surface speed)"},
    {Event::SpindleOff, Event::SpindleOff, "`{\"spindle\": \"OFF\"}`"},
    {Event::CoolantOn, Event::CoolantOff, "a coolant record; `OFF` calls `MOM_coolant_off`"},
    {Event::CutcomOn, Event::CutcomOff, "a cutcom record, `LEFT` or `RIGHT`; `OFF` calls `MOM_cutcom_off`"},
    {Event::CycleStart, Event::CycleStart, "a cycle record: the event of its kind"},
    {Event::CycleMove, Event::CycleMove, "each cycle motion (a hole) of the cycle in force"},
    {Event::CycleOff, Event::CycleOff, "`{\"cycle\": \"OFF\"}`"},
    {Event::EndOfPath, Event::EndOfPath, "each operation, after its path"},
    {Event::EndOfGroup, Event::EndOfGroup, "each program group left"},
    {Event::EndOfProgram, Event::EndOfProgram, "once, last"},
};

}  // namespace

std::string event_name(Event event, std::size_t cycle) {
    std::string name = event_names[static_cast<std::size_t>(event)];
    if (event == Event::CycleStart) return name + kCycleKinds[cycle];
    if (event == Event::CycleMove) return name + kCycleKinds[cycle] + "_move";
    return name;
}

// --- Variables ----------------------------------------------------------------------

namespace {

struct VariableName {
    Var id;
    const char *name;
    bool point;
};

const VariableName variable_names[] = {
    {Var::OutputFileDirectory, "output_file_directory", false},
    {Var::OutputFileBasename, "output_file_basename", false},
    {Var::OutputFileSuffix, "output_file_suffix", false},
    {Var::OutputFileFullName, "output_file_full_name", false},
    {Var::PartName, "part_name", false},
    {Var::MachineName, "machine_name", false},
    {Var::Date, "date", false},
    {Var::PartUnit, "part_unit", false},
    {Var::OutputUnit, "output_unit", false},
    {Var::MachineTime, "machine_time", false},
    {Var::FeedRate, "feed_rate", false},
    {Var::GroupName, "group_name", false},
    {Var::OperationName, "operation_name", false},
    {Var::ToolName, "tool_name", false},
    {Var::ToolNumber, "tool_number", false},
    {Var::ToolDiameter, "tool_diameter", false},
    {Var::ToolCornerRadius, "tool_corner1_radius", false},
    {Var::ToolLength, "tool_length", false},
    {Var::ToolAdjustRegister, "tool_adjust_register", false},
    {Var::CutcomAdjustRegister, "cutcom_adjust_register", false},
    {Var::NextToolName, "next_tool_name", false},
    {Var::NextToolNumber, "next_tool_number", false},
    {Var::NextToolStatus, "next_tool_status", false},
    {Var::MotionEvent, "motion_event", false},
    {Var::MotionType, "motion_type", false},
    {Var::Pos, "pos", true},
    {Var::PrevPos, "prev_pos", true},
    {Var::PosArcCenter, "pos_arc_center", true},
    {Var::ArcCenter, "arc_center", true},
    {Var::ArcDirection, "arc_direction", false},
    {Var::ArcRadius, "arc_radius", false},
    {Var::ArcAngle, "arc_angle", false},
    {Var::ArcAxis, "arc_axis", true},
    {Var::PosArcAxis, "pos_arc_axis", true},
    {Var::PosArcPlane, "pos_arc_plane", false},
    {Var::SpindleSpeed, "spindle_speed", false},
    {Var::SpindleDirection, "spindle_direction", false},
    {Var::SpindleMode, "spindle_mode", false},
    {Var::CoolantMode, "coolant_mode", false},
    {Var::CutcomMode, "cutcom_mode", false},
    {Var::CutcomStatus, "cutcom_status", false},
    {Var::CycleRapidTo, "cycle_rapid_to", false},
    {Var::CycleFeedTo, "cycle_feed_to", false},
    {Var::CycleRetractTo, "cycle_retract_to", false},
    {Var::CycleStep1, "cycle_step1", false},
    {Var::CycleDelay, "cycle_delay", false},
    {Var::CycleFeedRate, "cycle_feed_rate", false},
    {Var::CycleRapidToPos, "cycle_rapid_to_pos", true},
    {Var::CycleFeedToPos, "cycle_feed_to_pos", true},
    {Var::CycleRetractToPos, "cycle_retract_to_pos", true},
};
static_assert(std::size(variable_names) == static_cast<std::size_t>(Var::Count), "one name per variable");

// What the docs say of each variable: when the walk sets it and from what.
// A variable set at different times for different reasons has a row each.
struct VariableRow {
    Var first;
    Var last;  // rows that describe several variables alike
    const char *set_before;
    const char *from;
};

const VariableRow variable_rows[] = {
    {Var::OutputFileDirectory, Var::OutputFileDirectory, "the post is sourced",
     "the folder of `--output FILE` (with a trailing `/`), else the current folder"},
    {Var::OutputFileBasename, Var::OutputFileBasename, "the post is sourced",
     "the name of `--output FILE` without extension, else the displayed part's file name without folder and "
     "extension (`C:\\parts\\bracket.prt` gives `bracket`); `part` without a displayed part"},
    {Var::OutputFileSuffix, Var::OutputFileSuffix, "the post is sourced",
     "the extension of `--output FILE` (none: empty), else `ptp`"},
    {Var::OutputFileFullName, Var::OutputFileFullName, "the post is sourced",
     "directory, base name and `.suffix`, made from the three above after `--set`; the NC output is this file "
     "unless `--output` is given"},
    {Var::PartName, Var::PartName, "the post is sourced",
     "the displayed part's file name without folder and extension"},
    {Var::MachineName, Var::MachineName, "the post is sourced",
     "the part file's `machine_name` (empty when it names none)"},
    {Var::Date, Var::Date, "the post is sourced",
     "the host's clock (`--clock` fixes it), as `Fri Mar 15 14:30:05 2024`"},
    {Var::PartUnit, Var::OutputUnit, "the post is sourced",
     "the part file's `units`, `MM` or `IN` (`MM` when it gives none); a post that writes in other units sets "
     "`mom_output_unit` in its body"},
    {Var::MachineTime, Var::MachineTime, "the post is sourced (`0.0`); each `MOM_end_of_path`; `MOM_end_of_program`",
     "the running total, in minutes, of the posted operations' `machine_time` up to and including the operation "
     "ending"},
    {Var::FeedRate, Var::FeedRate, "the post is sourced (`0.0`); each move that gives a `feed`",
     "the move's `feed`; a move without one keeps the feed before (feeds are modal, across operations too)"},
    {Var::GroupName, Var::GroupName, "`MOM_start_of_group`, `MOM_end_of_group`", "that group's name"},
    {Var::GroupName, Var::GroupName, "`MOM_start_of_path`",
     "the name of the operation's program group (empty when it has none)"},
    {Var::GroupName, Var::GroupName, "`MOM_end_of_program`",
     "the last program group posted at the top (selected, or a member of the program root), so that "
     "`MOM_set_attribute_program` without arguments stamps the posted program; unchanged when only operations "
     "were posted"},
    {Var::OperationName, Var::OperationName, "`MOM_start_of_path`", "the operation's name"},
    {Var::ToolName, Var::ToolNumber, "`MOM_start_of_path`",
     "the operation's `tool`; empty and `0` for an operation without one"},
    {Var::ToolDiameter, Var::CutcomAdjustRegister, "`MOM_start_of_path`",
     "the tool's `diameter`, `corner_radius`, `length`, `adjust_register` and `cutcom_register`; `0` for what it "
     "does not give"},
    {Var::CutcomAdjustRegister, Var::CutcomAdjustRegister, "`MOM_cutcom_on`",
     "the record's `register`; without one, as it was"},
    {Var::NextToolName, Var::NextToolNumber, "`MOM_first_tool`, `MOM_tool_change`",
     "the tool the next tool change loads; at the last one, the first tool of the program"},
    {Var::NextToolStatus, Var::NextToolStatus, "`MOM_first_tool`, `MOM_tool_change`",
     "`NEXT`, or `FIRST` at the last tool change"},
    {Var::MotionEvent, Var::MotionEvent, "each motion",
     "the motion's own event without `MOM_`: `rapid_move`, `linear_move`, `circular_move`, or the hole event of "
     "the cycle (`drill_move`, ...); so also in `MOM_initial_move` and `MOM_first_move`"},
    {Var::MotionType, Var::MotionType, "each motion",
     "the motion's `type`; without one `RAPID` for a rapid move, `CYCLE` for a hole, `CUT` otherwise"},
    {Var::Pos, Var::Pos, "each motion", "the motion's `pos`: X, Y, Z of the end point (of a hole: its position)"},
    {Var::PrevPos, Var::PrevPos, "each motion",
     "the end point of the motion before (the program's first motion: its own end point)"},
    {Var::PosArcCenter, Var::ArcCenter, "each circular move", "the move's `center`"},
    {Var::ArcDirection, Var::ArcDirection, "each circular move",
     "`CLW` (clockwise) or `CCLW`, seen from the tip of `mom_arc_axis`"},
    {Var::ArcRadius, Var::ArcRadius, "each circular move",
     "the distance of the arc's start from its axis through the centre, in the arc's plane: a helix has the "
     "radius of its circle"},
    {Var::ArcAngle, Var::ArcAngle, "each circular move",
     "the degrees the arc sweeps, more than 0 and up to 360 (a whole turn)"},
    {Var::ArcAxis, Var::PosArcAxis, "each circular move",
     "the move's `axis` as a unit vector; an arc in the XY, YZ or ZX plane has `+Z`, `+X` or `+Y`, an axis "
     "written the other way round turning the direction with it"},
    {Var::PosArcPlane, Var::PosArcPlane, "each circular move",
     "`XY`, `YZ` or `ZX` (about Z, X or Y), `OTHER` for any other plane"},
    {Var::SpindleSpeed, Var::SpindleMode, "`MOM_spindle_rpm`, `MOM_spindle_css`",
     "the record's `speed`, `direction` and `mode`"},
    {Var::CoolantMode, Var::CoolantMode, "`MOM_coolant_on`", "the record's coolant: `ON`, `FLOOD`, `MIST`, ..."},
    {Var::CutcomMode, Var::CutcomMode, "`MOM_cutcom_on`", "`LEFT` or `RIGHT`"},
    {Var::CutcomStatus, Var::CutcomStatus, "`MOM_cutcom_on`, `MOM_cutcom_off`", "`LEFT`, `RIGHT` or `OFF`"},
    {Var::CycleRapidTo, Var::CycleFeedRate, "each cycle's start event (`MOM_drill`, ...)",
     "the record's `rapid_to`, `feed_to`, `retract_to`, `step`, `dwell` and `feed` (defaults above)"},
    {Var::CycleRapidToPos, Var::CycleRetractToPos, "each hole (`MOM_drill_move`, ...)",
     "the hole's position moved by `rapid_to`, `feed_to`, `retract_to` along the tool axis (`+Z`)"},
};

const VariableName &name_row(Var variable) { return variable_names[static_cast<std::size_t>(variable)]; }

}  // namespace

const char *variable_name(Var variable) { return name_row(variable).name; }
bool is_point(Var variable) { return name_row(variable).point; }

// --- Markdown -----------------------------------------------------------------------

namespace {

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    std::string digits = text;
    // 1000000 reads 1,000,000
    std::size_t start = digits[0] == '-' ? 1 : 0;
    for (std::size_t at = digits.size(); at > start + 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string quoted(const Names &names, const char *extra = nullptr) {
    std::string text;
    std::size_t count = names.count + (extra ? 1 : 0);
    for (std::size_t i = 0; i < count; ++i) {
        const char *name = i < names.count ? names[i] : extra;
        text += std::string(i == 0 ? "" : i + 1 == count ? " or " : ", ") + "`\"" + name + "\"`";
    }
    return text;
}

std::string type_text(const Field &field) {
    switch (field.kind) {
    case FieldKind::Text: return "string, not empty";
    case FieldKind::Whole: return "whole number " + number_text(field.least) + " to " + number_text(field.most);
    case FieldKind::Number:
        return "number " + std::string(field.least < 0 ? "from " : "") + number_text(field.least) + " to " +
               number_text(field.most);
    case FieldKind::Point:
        return "`[x, y, z]`, each from " + number_text(field.least) + " to " + number_text(field.most);
    case FieldKind::Vector: return "`[i, j, k]`, not all 0";
    case FieldKind::Choice: return quoted(*field.choices);
    case FieldKind::Switch: return quoted(*field.choices, kOff);
    case FieldKind::Object: return "object (below) or `\"OFF\"`";
    }
    return "";
}

std::string motions_text(unsigned motions) {
    std::string text;
    for (std::size_t i = 0; i < kMotionKinds.count; ++i)
        if (motions & (1u << i)) text += (text.empty() ? "" : ", ") + std::string(kMotionKinds[i]);
    return text;
}

std::string field_table(Holder holder) {
    bool motion = holder == Holder::Motion;
    std::string text = motion ? "| Field | Type | Motions | Meaning |\n|---|---|---|---|\n"
                              : "| Field | Type | Meaning |\n|---|---|---|\n";
    for (const Field *each : fields_of(holder)) {
        text += "| `" + std::string(each->name) + "` | " + type_text(*each) + (each->required ? ", required" : "") +
                " | ";
        if (motion) text += motions_text(each->motions) + " | ";
        text += std::string(each->meaning) + " |\n";
    }
    return text;
}

std::string event_table() {
    std::string text = "| Event | When |\n|---|---|\n";
    for (const EventRow &row : event_rows) {
        std::string names;
        auto first = static_cast<std::size_t>(row.first), last = static_cast<std::size_t>(row.last);
        for (std::size_t event = first; event <= last; ++event) {
            if (row.first == Event::CycleStart || row.first == Event::CycleMove) {
                for (std::size_t kind = 0; kind < kCycleKinds.count; ++kind)
                    names += (kind ? ", " : "") + std::string("`") + event_name(row.first, kind) + "`";
            } else {
                names += (names.empty() ? "" : ", ") + std::string("`") + event_names[event] + "`";
            }
        }
        text += "| " + names + " | " + row.when + " |\n";
    }
    return text;
}

std::string variable_table() {
    std::string text = "| Variable | Set before | From |\n|---|---|---|\n";
    for (const VariableRow &row : variable_rows) {
        std::string names;
        for (auto at = static_cast<std::size_t>(row.first); at <= static_cast<std::size_t>(row.last); ++at) {
            const VariableName &each = variable_names[at];
            names += (names.empty() ? "" : ", ") + std::string("`mom_") + each.name + (each.point ? "(0..2)`" : "`");
        }
        text += "| " + names + " | " + row.set_before + " | " + row.from + " |\n";
    }
    return text;
}

const char *const holder_tables[] = {"fields:part", "fields:tool", "fields:motion",
                                     "fields:record", "fields:spindle", "fields:cycle"};

}  // namespace

std::vector<std::string> markdown_tables() {
    std::vector<std::string> names(std::begin(holder_tables), std::end(holder_tables));
    names.push_back("events");
    names.push_back("variables");
    return names;
}

std::string markdown(const std::string &table) {
    for (std::size_t i = 0; i < std::size(holder_tables); ++i)
        if (table == holder_tables[i]) return field_table(static_cast<Holder>(i));
    if (table == "events") return event_table();
    if (table == "variables") return variable_table();
    throw std::invalid_argument("no posting table " + table);
}

}  // namespace emuhost::posting
