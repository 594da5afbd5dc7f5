// The tool path in the part file: each item read into the compact path as
// the parser meets it, each item written back as one line.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "part_json.h"

namespace emuhost::part_json {

using posting::Field;
using posting::FieldKind;
using posting::Holder;

void refuse(const std::string &at, const std::string &why) { throw Refusal{at, why}; }

std::string member_path(const std::string &at, const std::string &key) { return at.empty() ? key : at + "." + key; }

namespace {

std::string bound_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

// "rapid, linear or circular"
std::string kinds_text(unsigned motions) {
    std::vector<std::string> kinds;
    for (std::size_t i = 0; i < posting::kMotionKinds.count; ++i)
        if (motions & (1u << i)) kinds.push_back(posting::kMotionKinds[i]);
    std::string text;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
    return text;
}

const json *find(const json &holder, const Field &field) {
    auto found = holder.find(field.name);
    return found == holder.end() ? nullptr : &*found;
}

std::string quoted_text(const json &value) {
    return value.is_string() ? "\"" + value.get<std::string>() + "\"" : value.dump();
}

// The fields a motion reads, looked up once.
struct MotionFields {
    const Field &motion = *posting::field(Holder::Motion, "motion");
    const Field &pos = *posting::field(Holder::Motion, "pos");
    const Field &type = *posting::field(Holder::Motion, "type");
    const Field &feed = *posting::field(Holder::Motion, "feed");
    const Field &center = *posting::field(Holder::Motion, "center");
    const Field &direction = *posting::field(Holder::Motion, "direction");
    const Field &axis = *posting::field(Holder::Motion, "axis");
    std::vector<const Field *> of_kind[4] = {posting::fields_of(ItemKind::Rapid), posting::fields_of(ItemKind::Linear),
                                             posting::fields_of(ItemKind::Circular),
                                             posting::fields_of(ItemKind::Cycle)};
};
const MotionFields &motion_fields() {
    static const MotionFields fields;
    return fields;
}

// A spindle or cycle record: an object, or "OFF".
bool is_off(const json &value, const Field &field, const std::string &at) {
    if (value.is_object()) return false;
    if (value.is_string() && value.get<std::string>() == posting::kOff) return true;
    refuse(member_path(at, field.name), "must be an object or \"OFF\", not " + quoted_text(value));
}

// A coolant or cutcom record: one of its choices, or "OFF" (nullopt).
std::optional<std::size_t> switched(const json &value, const Field &field, const std::string &at) {
    if (value.is_string() && value.get<std::string>() == posting::kOff) return std::nullopt;
    if (!value.is_string() || !field.choices->find(value.get<std::string>()))
        refuse(member_path(at, field.name), quoted_text(value) + " is none of " + field.choices->joined() + ", OFF");
    return field.choices->find(value.get<std::string>());
}

}  // namespace

void only_keys(const json &value, const std::string &at, const std::vector<const Field *> &allowed) {
    for (auto it = value.begin(); it != value.end(); ++it) {
        bool known = false;
        for (const Field *field : allowed) known = known || it.key() == field->name;
        if (known) continue;
        // A field of another kind of motion says which kinds take it.
        const Field *motion_field = posting::field(Holder::Motion, it.key());
        if (motion_field && !allowed.empty() && allowed.front()->holder == Holder::Motion)
            refuse(member_path(at, it.key()), "only a " + kinds_text(motion_field->motions) + " move has it");
        refuse(member_path(at, it.key()), "unknown field");
    }
}

const json &required(const json &holder, const Field &field, const std::string &at) {
    const json *value = find(holder, field);
    if (!value) refuse(member_path(at, field.name), "missing");
    return *value;
}

double number(const json &value, const Field &field, const std::string &at) {
    if (!value.is_number()) refuse(member_path(at, field.name), "must be a number");
    double got = value.get<double>();
    if (got < field.least || got > field.most)
        refuse(member_path(at, field.name),
               "must be a number from " + bound_text(field.least) + " to " + bound_text(field.most));
    return got;
}

int whole(const json &value, const Field &field, const std::string &at) {
    bool fits = value.is_number_integer() && value.get<double>() >= field.least && value.get<double>() <= field.most;
    if (!fits)
        refuse(member_path(at, field.name),
               "must be a whole number from " + bound_text(field.least) + " to " + bound_text(field.most));
    return value.get<int>();
}

std::size_t choice(const json &value, const Field &field, const std::string &at) {
    if (!value.is_string()) refuse(member_path(at, field.name), "must be one of " + field.choices->joined());
    auto found = field.choices->find(value.get_ref<const std::string &>());
    if (!found) refuse(member_path(at, field.name), quoted_text(value) + " is none of " + field.choices->joined());
    return *found;
}

void point(const json &value, const Field &field, const std::string &at, double (&out)[3]) {
    if (!value.is_array() || value.size() != 3)
        refuse(member_path(at, field.name), std::string("must be an array of three numbers ") +
                                                (field.kind == FieldKind::Vector ? "[i, j, k]" : "[x, y, z]"));
    for (std::size_t i = 0; i < 3; ++i) {
        const json &each = value[i];
        if (!each.is_number() || each.get<double>() < field.least || each.get<double>() > field.most)
            refuse(member_path(at, field.name) + "[" + std::to_string(i) + "]",
                   "must be a number from " + bound_text(field.least) + " to " + bound_text(field.most));
        out[i] = each.get<double>();
    }
}

// --- Reading a path ------------------------------------------------------------------

void PathReader::add(const json &item) {
    std::size_t index = index_++;
    if (refusal) return;
    std::string at = "[" + std::to_string(index) + "]";
    try {
        if (!item.is_object()) refuse(at, "must be an object");
        if (item.contains("motion")) add_motion(item, at);
        else add_record(item, at);
    } catch (const Refusal &refused) {
        refusal = refused;
    } catch (const std::length_error &too_long) {
        refusal = Refusal{at, too_long.what()};
    }
}

void PathReader::add_motion(const json &item, const std::string &at) {
    const MotionFields &f = motion_fields();
    auto kind = static_cast<ItemKind>(choice(*item.find("motion"), f.motion, at));
    only_keys(item, at, f.of_kind[static_cast<int>(kind)]);
    double pos[3];
    point(required(item, f.pos, at), f.pos, at, pos);
    std::uint8_t type = 0;
    if (const json *given = find(item, f.type)) type = static_cast<std::uint8_t>(choice(*given, f.type, at) + 1);
    std::optional<double> feed;
    if (const json *given = find(item, f.feed)) feed = number(*given, f.feed, at);
    if (kind == ItemKind::Cycle && !in_cycle_)
        refuse(at, "a cycle motion needs a cycle started before it in this path ({\"cycle\": {...}})");
    if (kind != ItemKind::Circular) {
        path.add_motion(kind, pos, type, feed);
    } else {
        double center[3], axis[3] = {0, 0, 1};
        point(required(item, f.center, at), f.center, at, center);
        bool clockwise = choice(required(item, f.direction, at), f.direction, at) == 0;
        const json *axis_given = find(item, f.axis);
        if (axis_given) point(*axis_given, f.axis, at, axis);
        double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        if (!(length > 1e-12)) refuse(member_path(at, f.axis.name), "must not be [0, 0, 0]");
        if (!moved_)
            refuse(at, "an arc cannot be the first motion of a path: it starts where the motion before it ended");
        double unit[3] = {axis[0] / length, axis[1] / length, axis[2] / length};
        ArcMeasure arc = measure_arc(last_, pos, center, unit, clockwise);
        char text[200];
        if (arc.start_radius <= kArcTolerance) {
            std::snprintf(text, sizeof text, "the arc starts on its axis through the centre (radius %g): no arc",
                          arc.start_radius);
            refuse(at, text);
        }
        if (!radii_agree(arc.start_radius, arc.end_radius)) {
            std::snprintf(text, sizeof text,
                          "the arc starts %g and ends %g from its centre, measured in its plane: more than %g apart",
                          arc.start_radius, arc.end_radius,
                          std::max(kArcTolerance, kArcRelativeTolerance * std::max(arc.start_radius, arc.end_radius)));
            refuse(at, text);
        }
        path.add_motion(kind, pos, type, feed, center, axis_given ? axis : nullptr, clockwise);
    }
    for (int i = 0; i < 3; ++i) last_[i] = pos[i];
    moved_ = true;
}

void PathReader::add_record(const json &item, const std::string &at) {
    static const Field &spindle = *posting::field(Holder::Record, "spindle");
    static const Field &coolant = *posting::field(Holder::Record, "coolant");
    static const Field &cutcom = *posting::field(Holder::Record, "cutcom");
    static const Field &cutcom_register = *posting::field(Holder::Record, "register");
    static const Field &cycle = *posting::field(Holder::Record, "cycle");
    std::string records;
    for (const Field *each : {&spindle, &coolant, &cutcom, &cycle})
        if (find(item, *each)) records += (records.empty() ? "" : " and ") + std::string(each->name);
    if (records.empty())
        refuse(at, "is neither a motion (\"motion\") nor a record (spindle, coolant, cutcom, cycle)");
    if (records.find(" and ") != std::string::npos)
        refuse(at, "holds two records, " + records + ": give each an item of its own");
    only_keys(item, at, posting::fields_of(Holder::Record));
    if (find(item, cutcom_register) && !find(item, cutcom))
        refuse(member_path(at, cutcom_register.name), "only a cutcom record has it");

    Record record;
    if (const json *value = find(item, spindle)) {
        record.kind = ItemKind::SpindleOff;
        if (!is_off(*value, spindle, at)) {
            std::string inner = member_path(at, spindle.name);
            only_keys(*value, inner, posting::fields_of(Holder::Spindle));
            static const Field &speed = *posting::field(Holder::Spindle, "speed");
            static const Field &direction = *posting::field(Holder::Spindle, "direction");
            static const Field &mode = *posting::field(Holder::Spindle, "mode");
            record.kind = ItemKind::Spindle;
            record.speed = number(required(*value, speed, inner), speed, inner);
            if (const json *given = find(*value, direction)) record.clockwise = choice(*given, direction, inner) == 0;
            if (const json *given = find(*value, mode))
                record.mode = static_cast<SpindleMode>(choice(*given, mode, inner));
        }
    } else if (const json *mode_value = find(item, coolant)) {
        auto mode = switched(*mode_value, coolant, at);
        record.kind = mode ? ItemKind::Coolant : ItemKind::CoolantOff;
        record.coolant = static_cast<std::uint8_t>(mode.value_or(0));
    } else if (const json *side_value = find(item, cutcom)) {
        auto side = switched(*side_value, cutcom, at);
        record.kind = side ? ItemKind::Cutcom : ItemKind::CutcomOff;
        record.left = side.value_or(0) == 0;
        if (const json *given = find(item, cutcom_register)) {
            if (!side) refuse(member_path(at, cutcom_register.name), "only a cutcom LEFT or RIGHT has it");
            record.cutcom_register = whole(*given, cutcom_register, at);
        }
    } else if (const json *cycle_value = find(item, cycle)) {
        record.kind = ItemKind::CycleOff;
        if (!is_off(*cycle_value, cycle, at)) {
            std::string inner = member_path(at, cycle.name);
            only_keys(*cycle_value, inner, posting::fields_of(Holder::Cycle));
            auto read = [&](const char *name) -> std::optional<double> {
                const Field &field = *posting::field(Holder::Cycle, name);
                const json *given = field.required ? &required(*cycle_value, field, inner) : find(*cycle_value, field);
                if (!given) return std::nullopt;
                return number(*given, field, inner);
            };
            static const Field &kind = *posting::field(Holder::Cycle, "kind");
            record.kind = ItemKind::CycleStart;
            record.cycle = static_cast<std::uint8_t>(choice(required(*cycle_value, kind, inner), kind, inner));
            record.rapid_to = *read("rapid_to");
            record.feed_to = *read("feed_to");
            record.retract_to = read("retract_to");
            record.step = read("step");
            record.dwell = read("dwell");
            record.feed = read("feed");
        }
        in_cycle_ = record.kind == ItemKind::CycleStart;
    }
    path.add_record(record);
}

// --- Writing a path -------------------------------------------------------------------

namespace {

// The shortest text that reads back as the same double; -0 keeps its sign.
void add_number(std::string &out, double value) {
    if (value == 0 && std::signbit(value)) {
        out += "-0.0";
        return;
    }
    char text[32];
    auto done = std::to_chars(text, text + sizeof text, value);
    out.append(text, done.ptr);
}

void add_point(std::string &out, const double *point) {
    out += '[';
    for (int i = 0; i < 3; ++i) {
        if (i) out += ", ";
        add_number(out, point[i]);
    }
    out += ']';
}

void add_key(std::string &out, const char *key, bool first = false) {
    if (!first) out += ", ";
    out += '"';
    out += key;
    out += "\": ";
}

void add_name(std::string &out, const char *name) {
    out += '"';
    out += name;
    out += '"';
}

}  // namespace

void write_item(std::string &out, const ToolPath &path, const PathItem &item) {
    out += '{';
    if (is_motion(item.kind)) {
        add_key(out, "motion", true);
        add_name(out, posting::kMotionKinds[static_cast<std::size_t>(item.kind)]);
        add_key(out, "pos");
        add_point(out, item.pos);
        if (item.type) {
            add_key(out, "type");
            add_name(out, posting::kMotionTypes[item.type - 1]);
        }
        if (item.flags & PathItem::kFeed) {
            add_key(out, "feed");
            add_number(out, path.feed(item));
        }
        if (item.kind == ItemKind::Circular) {
            add_key(out, "center");
            add_point(out, path.center(item));
            add_key(out, "direction");
            add_name(out, posting::kDirections[(item.flags & PathItem::kClockwise) ? 0 : 1]);
            if (item.flags & PathItem::kAxis) {
                add_key(out, "axis");
                add_point(out, path.axis(item));
            }
        }
        out += '}';
        return;
    }
    const Record &record = path.record(item);
    switch (record.kind) {
    case ItemKind::Spindle:
        add_key(out, "spindle", true);
        out += '{';
        add_key(out, "speed", true);
        add_number(out, record.speed);
        add_key(out, "direction");
        add_name(out, posting::kDirections[record.clockwise ? 0 : 1]);
        add_key(out, "mode");
        add_name(out, posting::kSpindleModes[static_cast<std::size_t>(record.mode)]);
        out += '}';
        break;
    case ItemKind::Coolant:
    case ItemKind::CoolantOff:
        add_key(out, "coolant", true);
        add_name(out, record.kind == ItemKind::Coolant ? posting::kCoolantModes[record.coolant] : posting::kOff);
        break;
    case ItemKind::Cutcom:
    case ItemKind::CutcomOff:
        add_key(out, "cutcom", true);
        add_name(out, record.kind == ItemKind::Cutcom ? posting::kCutcomSides[record.left ? 0 : 1] : posting::kOff);
        if (record.cutcom_register) {
            add_key(out, "register");
            out += std::to_string(*record.cutcom_register);
        }
        break;
    case ItemKind::CycleStart: {
        add_key(out, "cycle", true);
        out += '{';
        add_key(out, "kind", true);
        add_name(out, posting::kCycleKinds[record.cycle]);
        add_key(out, "rapid_to");
        add_number(out, record.rapid_to);
        add_key(out, "feed_to");
        add_number(out, record.feed_to);
        const std::pair<const char *, const std::optional<double> *> optional[] = {
            {"retract_to", &record.retract_to},
            {"step", &record.step},
            {"dwell", &record.dwell},
            {"feed", &record.feed}};
        for (const auto &[name, value] : optional) {
            if (!*value) continue;
            add_key(out, name);
            add_number(out, **value);
        }
        out += '}';
        break;
    }
    case ItemKind::CycleOff:
    case ItemKind::SpindleOff:
        add_key(out, record.kind == ItemKind::CycleOff ? "cycle" : "spindle", true);
        add_name(out, posting::kOff);
        break;
    default: break;
    }
    out += '}';
}

}  // namespace emuhost::part_json
