// What posting a part hands the post, in one table: the part file's posting
// fields and the choices they take, the events the host's walk calls and
// the host variables it sets. The part file reader and the walk take every
// name from here, and docs/part-file.md and docs/posting.md list them from
// here (markdown(), checked by tests/part_model_test.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emuhost/tool_path.h"
#include "emuhost/translator.h"  // EMUHOST_API

namespace emuhost::posting {

// The names a choice may take, in the order of its enum or index.
struct EMUHOST_API Names {
    const char *const *names;
    std::size_t count;
    const char *operator[](std::size_t index) const { return names[index]; }
    std::optional<std::size_t> find(const std::string &name) const;
    // "CLW, CCLW", for messages.
    std::string joined() const;
};

EMUHOST_API extern const Names kMotionKinds;        // ItemKind order: rapid, linear, circular, cycle
EMUHOST_API extern const Names kMotionTypes;        // RAPID, ENGAGE, CUT, ...
EMUHOST_API extern const Names kDirections;         // CLW, CCLW
EMUHOST_API extern const Names kSpindleModes;       // SpindleMode order
EMUHOST_API extern const Names kCoolantModes;       // ON, FLOOD, MIST, THRU, TAP
EMUHOST_API extern const Names kCutcomSides;        // LEFT, RIGHT
EMUHOST_API extern const Names kCycleKinds;         // drill, drill_dwell, ...
EMUHOST_API extern const Names kUnits;              // MM, IN
EMUHOST_API extern const Names kArcPlanes;          // XY, YZ, ZX, OTHER
EMUHOST_API extern const char *const kOff;          // "OFF", which ends a spindle, coolant, cutcom or cycle

// The motion type a motion of `kind` has when its item names none.
EMUHOST_API std::size_t default_motion_type(ItemKind kind);

// --- The part file's posting fields --------------------------------------------
enum class Holder {
    Part,     // the part file's top level
    Tool,     // an operation's "tool"
    Motion,   // a path item with "motion"
    Record,   // a path item without: a machine-control record
    Spindle,  // the object of {"spindle": {...}}
    Cycle,    // the object of {"cycle": {...}}
};

enum class FieldKind {
    Text,    // a string, not empty
    Whole,   // a whole number within the bounds
    Number,  // a number within the bounds
    Point,   // [x, y, z], each within the bounds
    Vector,  // [i, j, k], not all 0
    Choice,  // one of `choices`
    Switch,  // one of `choices`, or "OFF"
    Object,  // an object (its fields are those of `inner`), or "OFF"
};

struct Field {
    Holder holder;
    const char *name;
    FieldKind kind;
    bool required;
    double least;           // Whole, Number, Point: the bounds
    double most;
    const Names *choices;   // Choice, Switch
    unsigned motions;       // Motion fields: the motion kinds that take it (bit per ItemKind)
    Holder inner;           // Object: what the object holds
    const char *meaning;
};

// The bounds the fields take: lengths and coordinates in the part's units,
// feeds per minute, speeds per minute (revolutions or surface), times in
// minutes, dwells in seconds, registers and tool numbers whole.
constexpr double kMaxLength = 1e6;
constexpr double kMaxFeed = 1e6;
constexpr double kMaxSpeed = 1e6;
constexpr double kMaxMinutes = 1e6;
constexpr double kMaxDwell = 1e4;
constexpr double kMaxRegister = 99999;

EMUHOST_API const std::vector<Field> &fields();
// The field `name` of `holder`, or null.
EMUHOST_API const Field *field(Holder holder, const std::string &name);
// The fields of a holder; for Motion those a motion of `kind` takes.
EMUHOST_API std::vector<const Field *> fields_of(Holder holder);
EMUHOST_API std::vector<const Field *> fields_of(ItemKind motion);

// --- Events ---------------------------------------------------------------------
enum class Event {
    StartOfProgram,
    StartOfGroup,
    StartOfPath,
    FirstTool,
    ToolChange,
    InitialMove,
    FirstMove,
    RapidMove,
    LinearMove,
    CircularMove,
    SpindleRpm,
    SpindleCss,
    SpindleOff,
    CoolantOn,
    CoolantOff,
    CutcomOn,
    CutcomOff,
    CycleStart,  // MOM_<kind>: one event per cycle kind
    CycleMove,   // MOM_<kind>_move
    CycleOff,
    EndOfPath,
    EndOfGroup,
    EndOfProgram,
    Count,
};
// "MOM_start_of_program", ...; for CycleStart and CycleMove that of `cycle`.
EMUHOST_API std::string event_name(Event event, std::size_t cycle = 0);

// --- Host variables -------------------------------------------------------------
enum class Var {
    OutputFileDirectory, OutputFileBasename, OutputFileSuffix, OutputFileFullName, PartName, MachineName, Date,
    PartUnit, OutputUnit, MachineTime, FeedRate, GroupName, OperationName,
    ToolName, ToolNumber, ToolDiameter, ToolCornerRadius, ToolLength, ToolAdjustRegister, CutcomAdjustRegister,
    NextToolName, NextToolNumber, NextToolStatus,
    MotionEvent, MotionType, Pos, PrevPos,
    PosArcCenter, ArcCenter, ArcDirection, ArcRadius, ArcAngle, ArcAxis, PosArcAxis, PosArcPlane,
    SpindleSpeed, SpindleDirection, SpindleMode, CoolantMode, CutcomMode, CutcomStatus,
    CycleRapidTo, CycleFeedTo, CycleRetractTo, CycleStep1, CycleDelay, CycleFeedRate,
    CycleRapidToPos, CycleFeedToPos, CycleRetractToPos,
    Count,
};
// The variable's name without "mom_": "pos", "arc_radius", ...
EMUHOST_API const char *variable_name(Var variable);
// Whether it is an array of three, indexed 0, 1, 2.
EMUHOST_API bool is_point(Var variable);

// --- The tables as the docs give them ---------------------------------------------
// "fields:tool", "fields:motion", ..., "events", "variables": a markdown table.
EMUHOST_API std::string markdown(const std::string &table);
EMUHOST_API std::vector<std::string> markdown_tables();

}  // namespace emuhost::posting
