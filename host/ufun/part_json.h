// Inside the part file reader: what the document reader (part_file.cpp) and
// the tool path reader (path_file.cpp) share. Not part of the host's API.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "emuhost/posting.h"
#include "emuhost/tool_path.h"

namespace emuhost::part_json {

// Keeps fields in the order written, so a saved file reads like the example.
using json = nlohmann::ordered_json;

// A field the reader refuses: where (a path such as objects[3].tool.number)
// and why. The document reader names the file and the object around it.
struct Refusal {
    std::string at;
    std::string why;
};
[[noreturn]] void refuse(const std::string &at, const std::string &why);

std::string member_path(const std::string &at, const std::string &key);
// Refuses a field of `value` that is none of `allowed`.
void only_keys(const json &value, const std::string &at, const std::vector<const posting::Field *> &allowed);
const json &required(const json &holder, const posting::Field &field, const std::string &at);

// The value of one field of the posting table, checked against its row.
double number(const json &value, const posting::Field &field, const std::string &at);
int whole(const json &value, const posting::Field &field, const std::string &at);
std::size_t choice(const json &value, const posting::Field &field, const std::string &at);
void point(const json &value, const posting::Field &field, const std::string &at, double (&out)[3]);

// Reads one operation's path item by item, as the parser meets them, into
// its compact form; checks each item against the one before it (an arc's
// start is where the motion before it ended, a hole needs its cycle). The
// first item refused is kept, with the place in the path (`[3].feed`), and
// the items after it are passed over.
class PathReader {
public:
    void add(const json &item);
    ToolPath path;
    std::optional<Refusal> refusal;

private:
    void add_motion(const json &item, const std::string &at);
    void add_record(const json &item, const std::string &at);

    std::size_t index_ = 0;
    bool moved_ = false;
    double last_[3] = {0, 0, 0};
    bool in_cycle_ = false;
};

// One path item as the part file holds it: one line of JSON, no line end.
void write_item(std::string &out, const ToolPath &path, const PathItem &item);

}  // namespace emuhost::part_json
