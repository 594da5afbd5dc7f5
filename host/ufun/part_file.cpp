// The JSON part file: reading it into a PartModel with a message that names
// the file, line and field of whatever is wrong, and writing it back.
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "emuhost/part.h"

namespace emuhost {
namespace {

// Keeps fields in the order written, so a saved file reads like the example.
using json = nlohmann::ordered_json;

// Reads one document into a model, keeping the path of the field it is at
// so that every complaint names it.
class Reader {
public:
    Reader(const std::string &origin, PartModel &model) : origin_(origin), model_(model) {}

    void read(const json &doc) {
        if (!doc.is_object()) fail("", "the part file must hold one JSON object");
        only_keys(doc, "", {"grip_dir", "managed", "parts", "display_part", "work_part", "database", "objects",
                            "current_operation", "selection"});
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

    std::string text(const json &value, const std::string &at) {
        if (!value.is_string()) fail(at, "must be a string");
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
            only_keys(entry, at, {"tag", "kind", "name", "members", "program_root", "attributes"});
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
        throw PartFileError("part file '" + origin + "', line " + std::to_string(where.first) + ", column " +
                            std::to_string(where.second) + ": " + parse_reason(error));
    }
    if (duplicates.duplicate())
        throw PartFileError("part file '" + origin + "': " + *duplicates.duplicate() + ": field given twice");
    PartModel fresh;
    fresh.clock_ = clock_;
    fresh.description_in_place_ = description_in_place_;
    Reader(origin, fresh).read(doc);
    *this = std::move(fresh);
}

std::string PartModel::to_text() const {
    json doc = json::object();
    if (!grip_dir_.empty()) doc["grip_dir"] = grip_dir_;
    doc["managed"] = managed_;
    doc["parts"] = json::array();
    for (const auto &entry : parts_)
        doc["parts"].push_back({{"tag", entry.tag}, {"file_name", entry.file_name}, {"description", entry.description}});
    doc["display_part"] = tag_or_null(display_part_);
    if (work_part_ != NULL_TAG) doc["work_part"] = work_part_;
    doc["database"] = json::array();
    for (const auto &entry : database_)
        doc["database"].push_back(
            {{"number", entry.number}, {"name", entry.name}, {"description", entry.description}});
    doc["objects"] = json::array();
    for (const auto &entry : objects_) {
        json item = {{"tag", entry.tag}, {"kind", kind_name(entry.kind)}};
        if (!entry.name.empty()) item["name"] = entry.name;
        if (entry.kind == ObjectKind::ProgramGroup) item["members"] = entry.members;
        if (entry.kind == ObjectKind::Setup) item["program_root"] = tag_or_null(entry.program_root);
        item["attributes"] = json::array();
        for (const auto &attribute : entry.attributes) {
            json saved = {{"title", attribute.title}};
            switch (attribute.type) {
            case AttributeType::String:
                saved["type"] = "string";
                saved["value"] = attribute.text;
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
