// The JSON part file: reading it into a PartModel with a message that names
// the file, line and field of whatever is wrong, and writing it back.
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "emuhost/part.h"
#include "emuhost/utf8.h"

namespace emuhost {
namespace {

// Keeps fields in the order written, so a saved file reads like the example.
using json = nlohmann::ordered_json;

std::optional<std::string> from_hex(const std::string &hex) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// Reads one document into a model, keeping the path of the field it is at
// so that every complaint names it.
class Reader {
public:
    Reader(const std::string &origin, PartModel &model) : origin_(origin), model_(model) {}

    void read(const json &doc) {
        only_keys(doc, "", {"machine_name", "grip_dir", "managed", "parts", "display_part", "work_part", "database", "objects",
                            "current_operation", "selection"});
        if (doc.contains("machine_name")) model_.set_machine_name(text(doc["machine_name"], "machine_name"));
        if (doc.contains("grip_dir")) model_.set_grip_dir(text(doc["grip_dir"], "grip_dir"));
        if (doc.contains("managed")) model_.set_managed(flag(doc["managed"], "managed"));
        for_each(doc, "parts", [&](const json &entry, const std::string &at) { read_part(entry, at); });
        apply("display_part", [&] { model_.set_display_part(optional_tag(doc, "display_part", "")); });
        apply("work_part", [&] { model_.set_work_part(optional_tag(doc, "work_part", "")); });
        for_each(doc, "database", [&](const json &entry, const std::string &at) { read_database(entry, at); });
        read_objects(doc);
        apply("current_operation",
              [&] { model_.set_current_operation(optional_tag(doc, "current_operation", "")); });
        std::vector<tag_t> selected;
        for_each(doc, "selection",
                 [&](const json &entry, const std::string &at) { selected.push_back(tag(entry, at)); });
        apply("selection", [&] { model_.select(selected); });
    }

private:
    [[noreturn]] void fail(const std::string &at, const std::string &why) const {
        throw PartFileError("part file '" + origin_ + "': " + (at.empty() ? "" : at + ": ") + why);
    }

    // Runs a model change, naming the field when the model refuses it.
    template <typename Change>
    void apply(const std::string &at, Change change) {
        try {
            change();
        } catch (const std::invalid_argument &refused) {
            fail(at, refused.what());
        }
    }

    static std::string member_path(const std::string &at, const std::string &key) {
        return at.empty() ? key : at + "." + key;
    }

    void only_keys(const json &value, const std::string &at, const std::set<std::string> &allowed) {
        for (auto it = value.begin(); it != value.end(); ++it)
            if (!allowed.count(it.key())) fail(member_path(at, it.key()), "unknown field");
    }

    template <typename Visit>
    void for_each(const json &holder, const std::string &key, Visit visit, const std::string &at = "") {
        if (!holder.contains(key)) return;
        const json &list = holder[key];
        std::string path = member_path(at, key);
        if (!list.is_array()) fail(path, "must be an array");
        for (std::size_t i = 0; i < list.size(); ++i) visit(list[i], path + "[" + std::to_string(i) + "]");
    }

    const json &required(const json &holder, const std::string &key, const std::string &at) {
        if (!holder.contains(key)) fail(member_path(at, key), "missing");
        return holder[key];
    }

    // A text is a JSON string, or {"bytes": "HEX"} for bytes that are no
    // UTF-8 (an 8-bit code page, a NUL as Tcl keeps it), so that whatever
    // a run stored loads back byte for byte.
    std::string text(const json &value, const std::string &at) {
        if (value.is_object() && value.size() == 1 && value.contains("bytes")) {
            const json &hex = value["bytes"];
            auto bytes = hex.is_string() ? from_hex(hex.get<std::string>()) : std::nullopt;
            if (!bytes) fail(member_path(at, "bytes"), "must be a string of hexadecimal digit pairs");
            return *bytes;
        }
        if (!value.is_string()) fail(at, "must be a string or {\"bytes\": \"HEX\"}");
        return value.get<std::string>();
    }

    bool flag(const json &value, const std::string &at) {
        if (!value.is_boolean()) fail(at, "must be true or false");
        return value.get<bool>();
    }

    tag_t tag(const json &value, const std::string &at) {
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() == 0 ||
            value.get<std::uint64_t>() > 0xFFFFFFFFu)
            fail(at, "must be a tag, a whole number from 1 to 4294967295");
        return static_cast<tag_t>(value.get<std::uint64_t>());
    }

    // Absent or null: 0.
    tag_t optional_tag(const json &holder, const std::string &key, const std::string &at) {
        if (!holder.contains(key) || holder[key].is_null()) return NULL_TAG;
        return tag(holder[key], member_path(at, key));
    }

    void read_part(const json &entry, const std::string &at) {
        if (!entry.is_object()) fail(at, "must be an object");
        only_keys(entry, at, {"tag", "file_name", "description"});
        tag_t part_tag = tag(required(entry, "tag", at), member_path(at, "tag"));
        std::string file_name = text(required(entry, "file_name", at), member_path(at, "file_name"));
        std::string description;
        if (entry.contains("description")) description = text(entry["description"], member_path(at, "description"));
        apply(at, [&] { model_.add_part(part_tag, file_name, description); });
    }

    void read_database(const json &entry, const std::string &at) {
        if (!entry.is_object()) fail(at, "must be an object");
        only_keys(entry, at, {"number", "name", "description"});
        DatabasePart part;
        part.number = text(required(entry, "number", at), member_path(at, "number"));
        if (entry.contains("name")) part.name = text(entry["name"], member_path(at, "name"));
        if (entry.contains("description")) part.description = text(entry["description"], member_path(at, "description"));
        apply(at, [&] { model_.add_database_part(part); });
    }

    // Objects first, so that member lists, the program root and the
    // selection may name objects listed further down.
    void read_objects(const json &doc) {
        for_each(doc, "objects", [&](const json &entry, const std::string &at) {
            if (!entry.is_object()) fail(at, "must be an object");
            only_keys(entry, at, {"tag", "kind", "name", "members", "program_root", "tool", "machine_time", "path",
                                  "attributes"});
            tag_t object_tag = tag(required(entry, "tag", at), member_path(at, "tag"));
            std::string kind_text = text(required(entry, "kind", at), member_path(at, "kind"));
            auto kind = kind_from_name(kind_text);
            if (!kind) fail(member_path(at, "kind"), "\"" + kind_text + "\" is none of operation, program_group, setup, other");
            std::string name;
            if (entry.contains("name")) name = text(entry["name"], member_path(at, "name"));
            apply(at, [&] { model_.add_object(object_tag, *kind, name); });
            if (entry.contains("members") && *kind != ObjectKind::ProgramGroup)
                fail(member_path(at, "members"), "only a program group has members");
            if (entry.contains("program_root") && *kind != ObjectKind::Setup)
                fail(member_path(at, "program_root"), "only the setup has a program root");
            read_posting(*model_.object(object_tag), *kind, entry, at);
        });
        for_each(doc, "objects", [&](const json &entry, const std::string &at) {
            tag_t group = static_cast<tag_t>(entry["tag"].get<std::uint64_t>());
            for_each(entry, "members", [&](const json &member, const std::string &member_at) {
                tag_t member_tag = tag(member, member_at);
                apply(member_at, [&] { model_.add_member(group, member_tag); });
            }, at);
            if (entry.contains("program_root")) {
                tag_t root = optional_tag(entry, "program_root", at);
                apply(member_path(at, "program_root"), [&] { model_.set_setup(group, root); });
            }
            for_each(entry, "attributes", [&](const json &attribute, const std::string &attribute_at) {
                read_attribute(group, attribute, attribute_at);
            }, at);
        });
    }

    double number(const json &value, const std::string &at) {
        if (!value.is_number()) fail(at, "must be a number");
        return value.get<double>();
    }

    void point(const json &value, const std::string &at, double (&out)[3]) {
        if (!value.is_array() || value.size() != 3) fail(at, "must be an array of three numbers [x, y, z]");
        for (std::size_t i = 0; i < 3; ++i) out[i] = number(value[i], at + "[" + std::to_string(i) + "]");
    }

    // What posting an operation hands the post: its tool, machine time and
    // tool path. Only operations are posted, so only they may carry them.
    void read_posting(CamObject &object, ObjectKind kind, const json &entry, const std::string &at) {
        for (const char *key : {"tool", "machine_time", "path"})
            if (entry.contains(key) && kind != ObjectKind::Operation)
                fail(member_path(at, key), "only an operation is posted");
        if (entry.contains("tool")) {
            std::string tool_at = member_path(at, "tool");
            const json &tool = entry["tool"];
            if (!tool.is_object()) fail(tool_at, "must be an object");
            only_keys(tool, tool_at, {"name", "number"});
            object.tool.name = text(required(tool, "name", tool_at), member_path(tool_at, "name"));
            if (object.tool.name.empty()) fail(member_path(tool_at, "name"), "must not be empty");
            if (tool.contains("number")) {
                const json &value = tool["number"];
                if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
                    value.get<std::int64_t>() > 99999)
                    fail(member_path(tool_at, "number"), "must be a whole number from 0 to 99999");
                object.tool.number = value.get<int>();
            }
        }
        if (entry.contains("machine_time")) {
            double minutes = number(entry["machine_time"], member_path(at, "machine_time"));
            if (!(minutes >= 0)) fail(member_path(at, "machine_time"), "must not be negative");
            object.machine_time = minutes;
        }
        for_each(entry, "path", [&](const json &move, const std::string &move_at) {
            if (!move.is_object()) fail(move_at, "must be an object");
            only_keys(move, move_at, {"motion", "pos", "feed", "center", "direction"});
            Motion motion;
            std::string kind_text = text(required(move, "motion", move_at), member_path(move_at, "motion"));
            if (kind_text == "rapid") motion.kind = MotionKind::Rapid;
            else if (kind_text == "linear") motion.kind = MotionKind::Linear;
            else if (kind_text == "circular") motion.kind = MotionKind::Circular;
            else fail(member_path(move_at, "motion"), "\"" + kind_text + "\" is none of rapid, linear, circular");
            point(required(move, "pos", move_at), member_path(move_at, "pos"), motion.pos);
            if (move.contains("feed")) {
                double feed = number(move["feed"], member_path(move_at, "feed"));
                if (!(feed >= 0)) fail(member_path(move_at, "feed"), "must not be negative");
                motion.feed = feed;
            }
            bool circular = motion.kind == MotionKind::Circular;
            for (const char *key : {"center", "direction"})
                if (!circular && move.contains(key)) fail(member_path(move_at, key), "only a circular move has it");
            if (circular) {
                point(required(move, "center", move_at), member_path(move_at, "center"), motion.center);
                std::string direction = text(required(move, "direction", move_at), member_path(move_at, "direction"));
                if (direction != "CLW" && direction != "CCLW")
                    fail(member_path(move_at, "direction"), "\"" + direction + "\" is none of CLW, CCLW");
                motion.clockwise = direction == "CLW";
            }
            object.path.push_back(motion);
        }, at);
    }

    void read_attribute(tag_t owner, const json &entry, const std::string &at) {
        if (!entry.is_object()) fail(at, "must be an object");
        only_keys(entry, at, {"title", "type", "value"});
        Attribute attribute;
        attribute.title = text(required(entry, "title", at), member_path(at, "title"));
        if (model_.attribute(owner, attribute.title))
            fail(member_path(at, "title"), "\"" + attribute.title + "\" is on this object already");
        std::string type = text(required(entry, "type", at), member_path(at, "type"));
        std::string value_at = member_path(at, "value");
        if (type == "string") {
            attribute.type = AttributeType::String;
            attribute.text = entry.contains("value") ? text(entry["value"], value_at) : "";
        } else if (type == "time") {
            attribute.type = AttributeType::Time;
            auto when = from_iso8601(text(required(entry, "value", at), value_at));
            if (!when) fail(value_at, "must be a local time written YYYY-MM-DDTHH:MM:SS");
            attribute.time = *when;
        } else if (type == "null") {
            attribute.type = AttributeType::Null;
            if (entry.contains("value") && !entry["value"].is_null()) fail(value_at, "a null attribute has no value");
        } else {
            fail(member_path(at, "type"), "\"" + type + "\" is none of string, time, null");
        }
        apply(at, [&] { model_.assign(owner, attribute); });
    }

    std::string origin_;
    PartModel &model_;
};

bool valid_utf8(const std::string &text) { return invalid_utf8_at(text) == std::string::npos; }

// A text as the part file holds it (see Reader::text).
json text_json(const std::string &text) {
    if (valid_utf8(text)) return json(text);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(text.size() * 2);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return json{{"bytes", hex}};
}

json tag_or_null(tag_t tag) { return tag == NULL_TAG ? json(nullptr) : json(tag); }

// Where the parser stopped: line and column, both from 1.
std::pair<std::size_t, std::size_t> position_of(const std::string &text, std::size_t byte) {
    std::size_t end = std::min(byte == 0 ? 0 : byte - 1, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

// The parser's reason without its exception id and position, which the
// caller gives in its own words.
std::string parse_reason(const json::parse_error &error) {
    std::string what = error.what();
    std::size_t at = what.find("parse error");
    if (at == std::string::npos) return what;
    std::size_t colon = what.find(": ", at);
    return colon == std::string::npos ? what.substr(at) : what.substr(colon + 2);
}

// Watches the parser for a field written twice in one object, which JSON
// itself lets pass (the last one silently wins): like a misspelt field, it
// is a mistake in the file that would otherwise go unnoticed. Keeps the path
// of where the parser is, as the reader names fields.
class DuplicateFields {
public:
    // For json::parse: answers true to keep every value.
    bool operator()(int, json::parse_event_t event, json &parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            next_element();
            frames_.push_back(Frame{event == json::parse_event_t::object_start, {}, {}, -1});
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (!frames_.empty()) frames_.pop_back();
            break;
        case json::parse_event_t::key: {
            Frame &top = frames_.back();
            top.key = parsed.get<std::string>();
            if (!top.keys.insert(top.key).second && !duplicate_) duplicate_ = path();
            break;
        }
        case json::parse_event_t::value: next_element(); break;
        }
        return true;
    }

    // The path of the first field given twice, if any.
    const std::optional<std::string> &duplicate() const { return duplicate_; }

private:
    struct Frame {
        bool object;
        std::set<std::string> keys;
        std::string key;
        long index;
    };

    void next_element() {
        if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
    }

    std::string path() const {
        std::string at;
        for (const Frame &frame : frames_) {
            if (frame.object) at += (at.empty() ? "" : ".") + frame.key;
            else at += "[" + std::to_string(frame.index) + "]";
        }
        return at;
    }

    std::vector<Frame> frames_;
    std::optional<std::string> duplicate_;
};

}  // namespace

void PartModel::load(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PartFileError("part file '" + path + "': cannot be opened");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw PartFileError("part file '" + path + "': cannot be read");
    load_text(content.str(), path);
}

void PartModel::load_text(const std::string &text, const std::string &origin) {
    json doc;
    DuplicateFields duplicates;
    try {
        doc = json::parse(text, std::ref(duplicates));
    } catch (const json::parse_error &error) {
        auto where = position_of(text, error.byte);
        std::string reason = parse_reason(error);
        throw PartFileError("part file '" + origin + "', line " + std::to_string(where.first) + ", column " +
                                std::to_string(where.second) + ": " + reason,
                            {reason, where.first, where.second});
    } catch (const json::exception &error) {
        // A number too large for any type, say: the parser gives up on the
        // value without a position.
        std::string what = error.what();
        auto bracket = what.find("] ");
        std::string reason = bracket == std::string::npos ? what : what.substr(bracket + 2);
        throw PartFileError("part file '" + origin + "': " + reason, {reason, 0, 0});
    }
    if (!doc.is_object())
        throw PartFileError("part file '" + origin + "': the part file must hold one JSON object",
                            {"the part file must hold a JSON object", 1, 0});
    if (duplicates.duplicate())
        throw PartFileError("part file '" + origin + "': " + *duplicates.duplicate() + ": field given twice");
    PartModel fresh;
    fresh.clock_ = clock_;
    fresh.description_in_place_ = description_in_place_;
    Reader(origin, fresh).read(doc);
    // What the file held was not assigned by anyone.
    fresh.assignments_ = 0;
    fresh.assigned_.clear();
    *this = std::move(fresh);
}

std::string PartModel::to_text() const {
    json doc = json::object();
    if (!machine_name_.empty()) doc["machine_name"] = text_json(machine_name_);
    if (!grip_dir_.empty()) doc["grip_dir"] = text_json(grip_dir_);
    doc["managed"] = managed_;
    doc["parts"] = json::array();
    for (const auto &entry : parts_)
        doc["parts"].push_back(
            {{"tag", entry.tag}, {"file_name", text_json(entry.file_name)}, {"description", text_json(entry.description)}});
    doc["display_part"] = tag_or_null(display_part_);
    if (work_part_ != NULL_TAG) doc["work_part"] = work_part_;
    doc["database"] = json::array();
    for (const auto &entry : database_)
        doc["database"].push_back(
            {{"number", text_json(entry.number)}, {"name", text_json(entry.name)}, {"description", text_json(entry.description)}});
    doc["objects"] = json::array();
    for (const auto &entry : objects_) {
        json item = {{"tag", entry.tag}, {"kind", kind_name(entry.kind)}};
        if (!entry.name.empty()) item["name"] = text_json(entry.name);
        if (entry.kind == ObjectKind::ProgramGroup) item["members"] = entry.members;
        if (entry.kind == ObjectKind::Setup) item["program_root"] = tag_or_null(entry.program_root);
        // Posting fields only where the file had them, so a part without
        // them saves as it always did.
        if (!entry.tool.name.empty()) item["tool"] = {{"name", text_json(entry.tool.name)}, {"number", entry.tool.number}};
        if (entry.machine_time) item["machine_time"] = *entry.machine_time;
        if (!entry.path.empty()) {
            json path = json::array();
            for (const auto &motion : entry.path) {
                json move = {{"motion", motion_name(motion.kind)},
                             {"pos", {motion.pos[0], motion.pos[1], motion.pos[2]}}};
                if (motion.feed) move["feed"] = *motion.feed;
                if (motion.kind == MotionKind::Circular) {
                    move["center"] = {motion.center[0], motion.center[1], motion.center[2]};
                    move["direction"] = motion.clockwise ? "CLW" : "CCLW";
                }
                path.push_back(move);
            }
            item["path"] = path;
        }
        item["attributes"] = json::array();
        for (const auto &attribute : entry.attributes) {
            json saved = {{"title", text_json(attribute.title)}};
            switch (attribute.type) {
            case AttributeType::String:
                saved["type"] = "string";
                saved["value"] = text_json(attribute.text);
                break;
            case AttributeType::Time:
                saved["type"] = "time";
                saved["value"] = to_iso8601(attribute.time);
                break;
            case AttributeType::Null: saved["type"] = "null"; break;
            }
            item["attributes"].push_back(saved);
        }
        doc["objects"].push_back(item);
    }
    doc["current_operation"] = tag_or_null(current_operation_);
    doc["selection"] = selection_;
    try {
        return doc.dump(2) + "\n";
    } catch (const json::type_error &error) {
        // Texts that scripts wrote in an 8-bit code page are not UTF-8;
        // say so rather than write a file that cannot be read back.
        throw PartFileError(std::string("part model cannot be written as JSON: ") + error.what());
    }
}

void PartModel::save(const std::string &path) const {
    std::string content;
    try {
        content = to_text();
    } catch (const PartFileError &error) {
        throw PartFileError("part file '" + path + "': " + error.what());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw PartFileError("part file '" + path + "': cannot be opened for writing");
    out << content;
    out.flush();
    if (!out) throw PartFileError("part file '" + path + "': cannot be written");
}

}  // namespace emuhost
