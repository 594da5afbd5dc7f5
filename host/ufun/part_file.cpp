// The JSON part file: reading it into a PartModel with a message that names
// the file, line and field of whatever is wrong, and writing it back.
//
// The text is read in one pass by a streaming (SAX) parser: every object
// and array is built as a small JSON value except the items of tool paths,
// which go one by one into the compact path (path_file.cpp), so a path of
// millions of moves is never held as JSON. A field given twice is caught as
// the parser meets it, with one set of keys per open object.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <unordered_set>

#include "emuhost/part.h"
#include "emuhost/utf8.h"
#include "part_json.h"

namespace emuhost {
namespace {

using part_json::json;
using part_json::member_path;
using part_json::PathReader;
using part_json::Refusal;
using posting::Holder;

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
    Reader(const std::string &origin, PartModel &model, const json &doc, std::map<std::size_t, PathReader> &paths)
        : origin_(origin), model_(model), doc_(doc), paths_(paths) {}

    // Throws PartFileError naming the file, the field and the object it
    // belongs to.
    void read() {
        try {
            read_document(doc_);
        } catch (const Refusal &refused) {
            throw PartFileError(message(refused));
        }
    }

    // What the file says of `refused`: the field, and for a field of an
    // object the object's tag and name, which say more than its index.
    std::string message(const Refusal &refused) const {
        std::string at = refused.at;
        if (at.rfind("objects[", 0) == 0 && at.find(']') != std::string::npos) {
            std::string label = object_label(std::strtoul(at.c_str() + 8, nullptr, 10));
            if (!label.empty()) at += " (" + label + ")";
        }
        return "part file '" + origin_ + "': " + (at.empty() ? "" : at + ": ") + refused.why;
    }

private:
    std::string object_label(std::size_t index) const {
        auto objects = doc_.find("objects");
        if (objects == doc_.end() || !objects->is_array() || index >= objects->size()) return "";
        const json &object = (*objects)[index];
        if (!object.is_object()) return "";
        std::string label;
        auto tag = object.find("tag");
        if (tag != object.end() && tag->is_number_unsigned() && tag->get<std::uint64_t>() != 0 &&
            tag->get<std::uint64_t>() <= 0xFFFFFFFFu)
            label = "tag " + std::to_string(tag->get<std::uint64_t>());
        auto name = object.find("name");
        if (name != object.end() && name->is_string() && !name->get<std::string>().empty())
            label += (label.empty() ? "\"" : ", \"") + name->get<std::string>() + "\"";
        return label;
    }

    void read_document(const json &doc) {
        only_keys(doc, "", {"machine_name", "grip_dir", "units", "managed", "parts", "display_part", "work_part",
                            "database", "objects", "current_operation", "selection"});
        if (doc.contains("machine_name")) model_.set_machine_name(text(doc["machine_name"], "machine_name"));
        if (doc.contains("units")) {
            static const posting::Field &units = *posting::field(Holder::Part, "units");
            model_.set_units(part_json::choice(doc["units"], units, ""));
        }
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

    [[noreturn]] void fail(const std::string &at, const std::string &why) const { part_json::refuse(at, why); }

    // Runs a model change, naming the field when the model refuses it.
    template <typename Change>
    void apply(const std::string &at, Change change) {
        try {
            change();
        } catch (const std::invalid_argument &refused) {
            fail(at, refused.what());
        }
    }

    void only_keys(const json &value, const std::string &at, std::initializer_list<const char *> allowed) {
        for (auto it = value.begin(); it != value.end(); ++it)
            if (std::find_if(allowed.begin(), allowed.end(), [&](const char *key) { return it.key() == key; }) ==
                allowed.end())
                fail(member_path(at, it.key()), "unknown field");
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
        std::size_t index = 0;
        for_each(doc, "objects", [&](const json &entry, const std::string &at) {
            auto path = paths_.find(index++);
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
            read_posting(*model_.object(object_tag), *kind, entry, at,
                         path == paths_.end() ? nullptr : &path->second);
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

    // What posting an operation hands the post: its tool, machine time and
    // tool path (read by the parser, as `path`). Only operations are posted,
    // so only they may carry them.
    void read_posting(CamObject &object, ObjectKind kind, const json &entry, const std::string &at, PathReader *path) {
        for (const char *key : {"tool", "machine_time", "path"})
            if (entry.contains(key) && kind != ObjectKind::Operation)
                fail(member_path(at, key), "only an operation is posted");
        if (entry.contains("tool")) {
            std::string tool_at = member_path(at, "tool");
            const json &tool = entry["tool"];
            if (!tool.is_object()) fail(tool_at, "must be an object");
            part_json::only_keys(tool, tool_at, posting::fields_of(Holder::Tool));
            auto field = [](const char *name) -> const posting::Field & { return *posting::field(Holder::Tool, name); };
            Tool &read = object.tool;
            read.name = text(part_json::required(tool, field("name"), tool_at), member_path(tool_at, "name"));
            if (read.name.empty()) fail(member_path(tool_at, "name"), "must not be empty");
            auto whole = [&](const char *name) -> std::optional<int> {
                if (!tool.contains(name)) return std::nullopt;
                return part_json::whole(tool[name], field(name), tool_at);
            };
            auto number = [&](const char *name) -> std::optional<double> {
                if (!tool.contains(name)) return std::nullopt;
                return part_json::number(tool[name], field(name), tool_at);
            };
            read.number = whole("number").value_or(0);
            read.diameter = number("diameter");
            read.corner_radius = number("corner_radius");
            read.length = number("length");
            read.adjust_register = whole("adjust_register");
            read.cutcom_register = whole("cutcom_register");
        }
        if (entry.contains("machine_time")) {
            const json &minutes = entry["machine_time"];
            std::string time_at = member_path(at, "machine_time");
            if (!minutes.is_number()) fail(time_at, "must be a number");
            if (!(minutes.get<double>() >= 0 && minutes.get<double>() <= posting::kMaxMinutes))
                fail(time_at, "must be a number of minutes from 0 to 1000000");
            object.machine_time = minutes.get<double>();
        }
        if (entry.contains("path")) {
            std::string path_at = member_path(at, "path");
            if (!entry["path"].is_array()) fail(path_at, "must be an array");
            if (path) {
                if (path->refusal) fail(path_at + path->refusal->at, path->refusal->why);
                object.path = std::move(path->path);
            }
        }
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
    const json &doc_;
    std::map<std::size_t, PathReader> &paths_;
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
std::string parse_reason(const std::string &what) {
    std::size_t at = what.find("parse error");
    if (at != std::string::npos) {
        std::size_t colon = what.find(": ", at);
        return colon == std::string::npos ? what.substr(at) : what.substr(colon + 2);
    }
    std::size_t bracket = what.find("] ");
    return bracket == std::string::npos ? what : what.substr(bracket + 2);
}

// Where the parser gave up: past the end of the text, or a number no double
// holds (which would be infinite).
struct SyntaxFailure {
    std::size_t byte;
    std::string reason;
};

// The parser's events, built into a document as nlohmann's own DOM parser
// builds one, but for three things: each item of objects[N].path goes to the
// PathReader of object N and is not kept; a field given twice is noted (the
// first one, with its path) when its key comes; and a long text asks
// `interrupted` now and then.
class PartSax {
public:
    explicit PartSax(const PartModel::Interrupted &interrupted) : interrupted_(interrupted) {}

    json document;
    std::map<std::size_t, PathReader> paths;  // by index in "objects"
    std::optional<std::string> duplicate;

    bool null() { return value(json(nullptr)); }
    bool boolean(bool flag) { return value(json(flag)); }
    bool number_integer(json::number_integer_t number) { return value(json(number)); }
    bool number_unsigned(json::number_unsigned_t number) { return value(json(number)); }
    bool number_float(json::number_float_t number, const json::string_t &) { return value(json(number)); }
    bool string(json::string_t &text) { return value(json(std::move(text))); }
    bool binary(json::binary_t &) { return value(json(nullptr)); }  // JSON text has none

    bool start_object(std::size_t) {
        // A path item is an object: every few thousand, the caller may end
        // the load.
        if (++opened_ % 4096 == 0 && interrupted_ && interrupted_()) throw PartLoadInterrupted();
        frames_.push_back(Frame{json::object()});
        // A path item holds a few fields: room for them at once.
        if (in_path_item()) frames_.back().value.get_ref<json::object_t &>().reserve(4);
        return true;
    }

    bool key(json::string_t &name) {
        Frame &top = frames_.back();
        auto &fields = top.value.get_ref<json::object_t &>();
        bool again;
        if (top.keys) {
            again = !top.keys->insert(name).second;
        } else {
            again = std::any_of(fields.begin(), fields.end(), [&](const auto &field) { return field.first == name; });
            // Many fields: a set, so that a huge object stays linear.
            if (fields.size() >= 16) {
                top.keys = std::make_unique<std::unordered_set<std::string>>();
                for (const auto &field : fields) top.keys->insert(field.first);
                top.keys->insert(name);
            }
        }
        top.key = name;
        if (again && !duplicate) duplicate = where();
        return true;
    }

    bool end_object() { return close(); }

    bool start_array(std::size_t) {
        Frame frame{json::array()};
        // objects[N].path: its items are read one by one, not kept.
        if (frames_.size() == 3 && frames_[0].key == "objects" && frames_[1].value.is_array() &&
            frames_[2].value.is_object() && frames_[2].key == "path")
            frame.path = &paths[frames_[1].count];
        // A point in a path item: [x, y, z].
        else if (in_path_item())
            frame.value.get_ref<json::array_t &>().reserve(3);
        frames_.push_back(std::move(frame));
        return true;
    }

    bool end_array() { return close(); }

    bool parse_error(std::size_t byte, const std::string &token, const nlohmann::detail::exception &error) {
        // A number out of range is named where it starts.
        bool number = error.id == 406;
        std::size_t at = number && byte >= token.size() ? byte - token.size() + 1 : byte;
        throw SyntaxFailure{at, parse_reason(error.what())};
    }

private:
    struct Frame {
        json value;             // the object or array being built (a path keeps none of its items)
        std::string key = {};   // an object: the field being read
        std::size_t count = 0;  // an array: the elements read
        PathReader *path = nullptr;
        std::unique_ptr<std::unordered_set<std::string>> keys = {};  // an object of many fields
    };

    bool in_path_item() const { return frames_.size() >= 4 && frames_[3].path; }

    bool value(json &&made) {
        if (frames_.empty()) {
            document = std::move(made);
            return true;
        }
        Frame &top = frames_.back();
        if (top.path) {
            top.path->add(made);
        } else if (top.value.is_object()) {
            // Appended: a field given twice is refused before anyone reads it.
            top.value.get_ref<json::object_t &>().emplace_back(top.key, std::move(made));
        } else {
            top.value.get_ref<json::array_t &>().push_back(std::move(made));
        }
        ++top.count;
        return true;
    }

    bool close() {
        Frame done = std::move(frames_.back());
        frames_.pop_back();
        // A path leaves an empty array: the object has one.
        return value(done.path ? json::array() : std::move(done.value));
    }

    // The path of the field being read: objects[3].path[12].pos.
    std::string where() const {
        std::string at;
        for (const Frame &frame : frames_) {
            if (frame.value.is_object()) at += (at.empty() ? "" : ".") + frame.key;
            else at += "[" + std::to_string(frame.count) + "]";
        }
        return at;
    }

    const PartModel::Interrupted &interrupted_;
    std::vector<Frame> frames_;
    std::size_t opened_ = 0;
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

void PartModel::load_text(const std::string &text, const std::string &origin, const Interrupted &interrupted) {
    PartSax parsed(interrupted);
    try {
        json::sax_parse(text.begin(), text.end(), &parsed);
    } catch (const SyntaxFailure &failure) {
        auto where = position_of(text, failure.byte);
        throw PartFileError("part file '" + origin + "', line " + std::to_string(where.first) + ", column " +
                                std::to_string(where.second) + ": " + failure.reason,
                            {failure.reason, where.first, where.second});
    }
    if (!parsed.document.is_object())
        throw PartFileError("part file '" + origin + "': the part file must hold one JSON object",
                            {"the part file must hold a JSON object", 1, 0});
    PartModel fresh;
    fresh.clock_ = clock_;
    fresh.description_in_place_ = description_in_place_;
    Reader reader(origin, fresh, parsed.document, parsed.paths);
    if (parsed.duplicate) throw PartFileError(reader.message(Refusal{*parsed.duplicate, "field given twice"}));
    reader.read();
    // What the file held was not assigned by anyone.
    fresh.assignments_ = 0;
    fresh.assigned_.clear();
    *this = std::move(fresh);
}

// The dumped document with each object's path written in place of its
// placeholder ("path": "N", N the object's index; no other field is named
// path): one item a line.
std::string PartModel::with_paths(const std::string &dumped) const {
    static const std::string placeholder = "\"path\": \"";
    std::string out;
    std::size_t items = 0;
    for (const auto &entry : objects_) items += entry.path.size();
    out.reserve(dumped.size() + items * 64);
    std::size_t from = 0;
    for (std::size_t at; (at = dumped.find(placeholder, from)) != std::string::npos;) {
        std::size_t line = dumped.rfind('\n', at) + 1;
        std::string indent = dumped.substr(line, at - line) + "  ";
        std::size_t end = dumped.find('"', at + placeholder.size());
        const ToolPath &path = objects_[std::stoul(dumped.substr(at + placeholder.size()))].path;
        out.append(dumped, from, at - from);
        out += "\"path\": [";
        for (std::size_t i = 0; i < path.size(); ++i) {
            out += i ? ",\n" : "\n";
            out += indent;
            part_json::write_item(out, path, path.items()[i]);
        }
        out += "\n" + indent.substr(2) + "]";
        from = end + 1;
    }
    out.append(dumped, from, std::string::npos);
    return out;
}

std::string PartModel::to_text() const {
    json doc = json::object();
    if (!machine_name_.empty()) doc["machine_name"] = text_json(machine_name_);
    if (!grip_dir_.empty()) doc["grip_dir"] = text_json(grip_dir_);
    if (units_) doc["units"] = posting::kUnits[*units_];
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
        if (!entry.tool.name.empty()) {
            const Tool &tool = entry.tool;
            json saved = {{"name", text_json(tool.name)}, {"number", tool.number}};
            if (tool.diameter) saved["diameter"] = *tool.diameter;
            if (tool.corner_radius) saved["corner_radius"] = *tool.corner_radius;
            if (tool.length) saved["length"] = *tool.length;
            if (tool.adjust_register) saved["adjust_register"] = *tool.adjust_register;
            if (tool.cutcom_register) saved["cutcom_register"] = *tool.cutcom_register;
            item["tool"] = saved;
        }
        if (entry.machine_time) item["machine_time"] = *entry.machine_time;
        // The path's place, filled in below with one item a line.
        if (!entry.path.empty()) item["path"] = std::to_string(&entry - objects_.data());
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
        return with_paths(doc.dump(2) + "\n");
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
