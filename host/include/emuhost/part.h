// The CAM part: objects, attributes and the part identity that the Open
// API's CAM, attribute, part and database functions answer from. Loaded
// from and saved to a JSON part file (docs/part-file.md).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "emuhost/tool_path.h"
#include "emuhost/translator.h"  // EMUHOST_API
#include "openapi.h"

namespace emuhost {

// The longest texts the host keeps, each without its terminator.
constexpr std::size_t kMaxObjectName = OBJ_NAME_SIZE - 1;         // 30
constexpr std::size_t kMaxAttributeTitle = 50;
constexpr std::size_t kMaxAttributeString = 132;
constexpr std::size_t kMaxPartFileName = PART_NAME_SIZE - 1;      // 256
constexpr std::size_t kMaxDatabaseField = UGMGR_FIELD_SIZE - 1;   // 32
constexpr std::size_t kMaxFileType = UGMGR_FILE_TYPE_SIZE - 1;    // 13
constexpr std::size_t kMaxDatabaseDesc = PART_DESC_SIZE - 1;      // 240

enum class ObjectKind { Operation, ProgramGroup, Setup, Other };
enum class AttributeType { String, Time, Null };

// A host time as uc4583 writes it into its two 32-bit integers: the local
// calendar date as the decimal number YYYYMMDD and the local time of day as
// HHMMSS. {20240315, 143005} is 15 March 2024, 14:30:05 local time.
struct HostTime {
    int32_t date = 0;
    int32_t time = 0;
    bool operator==(const HostTime &other) const { return date == other.date && time == other.time; }
    bool operator!=(const HostTime &other) const { return !(*this == other); }
};

EMUHOST_API bool is_valid(HostTime when);
// "YYYY-MM-DDTHH:MM:SS" (ISO 8601 local time, no zone designator).
EMUHOST_API std::string to_iso8601(HostTime when);
EMUHOST_API std::optional<HostTime> from_iso8601(const std::string &text);
// The computer's local time now.
EMUHOST_API HostTime local_now();

struct Attribute {
    std::string title;
    AttributeType type = AttributeType::String;
    std::string text;  // String
    HostTime time;     // Time
};

// The tool an operation cuts with. An empty name: the operation has none.
// Sizes in the part's units; what the part file does not give stays absent.
struct Tool {
    std::string name;
    int number = 0;
    std::optional<double> diameter;
    std::optional<double> corner_radius;
    std::optional<double> length;
    std::optional<int> adjust_register;
    std::optional<int> cutcom_register;
};

struct CamObject {
    tag_t tag = NULL_TAG;          // fixed once added: the model indexes it
    ObjectKind kind = ObjectKind::Other;
    std::string name;              // empty: the object has no name
    // Program groups: ordered member list. Grow it through
    // PartModel::add_member only, which keeps the model's member index.
    std::vector<tag_t> members;
    tag_t program_root = NULL_TAG; // the setup: its program root
    std::vector<Attribute> attributes;  // in the order first assigned
    // Operations only: what posting the operation hands the post.
    Tool tool;
    std::optional<double> machine_time;  // minutes; absent: 0
    ToolPath path;
};

struct PartFile {
    tag_t tag = NULL_TAG;
    std::string file_name;
    std::string description;
};

struct DatabasePart {
    std::string number;
    std::string name;
    std::string description;
};

// The four fields a managed part file name encodes.
struct ManagedName {
    std::string number;
    std::string revision;
    std::string file_type;
    std::string file_name;
};

// A part file that cannot be read, parsed or accepted; what() names the
// file, the line where the parser knows it, and the field.
struct PartFileError : std::runtime_error {
    using std::runtime_error::runtime_error;

    // A text that is no JSON object at all (a syntax error, a number no type
    // holds, a document of another kind) also says why in the parser's
    // words, without the file's name, and where: line and column from 1, 0
    // where it cannot say.
    struct Syntax {
        std::string reason;
        std::size_t line = 0;
        std::size_t column = 0;
    };
    PartFileError(const std::string &what, Syntax where) : std::runtime_error(what), syntax(std::move(where)) {}
    std::optional<Syntax> syntax;
};

// A load that the caller's `interrupted` ended before it was done; the model
// is as it was.
struct PartLoadInterrupted : std::runtime_error {
    PartLoadInterrupted() : std::runtime_error("reading the part file was interrupted") {}
};

class EMUHOST_API PartModel {
public:
    PartModel();

    // An empty part: no objects, parts or database, native mode, the
    // computer's clock.
    void reset();

    // --- CAM objects --------------------------------------------------------
    // Each throws std::invalid_argument and changes nothing when the request
    // would break the part (zero or taken tag, name over 30 characters,
    // member of two groups, ...).
    CamObject &add_object(tag_t tag, ObjectKind kind, const std::string &name = "");
    // Appends `member` to the program group's member list.
    void add_member(tag_t group, tag_t member);
    // Makes `setup` (an object of kind Setup) the part's setup and
    // `program_root` (a program group) its program root.
    void set_setup(tag_t setup, tag_t program_root);

    const std::vector<CamObject> &objects() const { return objects_; }
    CamObject *object(tag_t tag);
    const CamObject *object(tag_t tag) const;
    // The setup object's tag, or 0; its program root, or 0.
    tag_t setup() const { return setup_; }
    tag_t program_root() const;
    // The program group whose member list holds `tag`, or 0.
    tag_t group_of(tag_t tag) const;
    // The first object after `after` (0: from the start) in part order that
    // bears `name`, or 0. Unnamed objects are never found.
    tag_t next_by_name(const std::string &name, tag_t after) const;

    // Objects selected in the Operation Navigator, in selection order.
    void select(const std::vector<tag_t> &tags);
    const std::vector<tag_t> &selection() const { return selection_; }

    // The operation being post-processed (0: none).
    void set_current_operation(tag_t oper);
    tag_t current_operation() const { return current_operation_; }

    // --- Attributes ---------------------------------------------------------
    // Assigns to the object, replacing an attribute of the same title in
    // its place. Throws std::invalid_argument for an unknown object, an
    // empty or over-long title, an over-long string or an invalid time.
    void assign(tag_t tag, const Attribute &attribute);
    const Attribute *attribute(tag_t tag, const std::string &title) const;
    // How many assignments were made since the model was made or loaded,
    // in all and per object: what a run stamped, for its account.
    std::size_t assignments() const { return assignments_; }
    const std::unordered_map<tag_t, std::size_t> &assignments_per_object() const { return assigned_; }

    // --- Clock of uc4583 ----------------------------------------------------
    void set_clock(std::function<HostTime()> clock);
    void fix_clock(HostTime when);
    HostTime now() const;

    // --- Part identity ------------------------------------------------------
    PartFile &add_part(tag_t tag, const std::string &file_name, const std::string &description = "");
    const PartFile *part(tag_t tag) const;
    const std::vector<PartFile> &parts() const { return parts_; }
    void set_display_part(tag_t tag);
    // The work part; 0 makes it follow the displayed part.
    void set_work_part(tag_t tag);
    tag_t display_part() const { return display_part_; }
    tag_t work_part() const { return work_part_ ? work_part_ : display_part_; }
    bool work_part_set() const { return work_part_ != NULL_TAG; }

    // How UF_PART_ask_description answers: by default with host memory of
    // its own in place of the caller's pointer; in place, it fills the
    // 241-byte field the pointer points at, as other hosts do. Not part of
    // the part file.
    void set_description_in_place(bool in_place) { description_in_place_ = in_place; }
    bool description_in_place() const { return description_in_place_; }

    void set_managed(bool managed) { managed_ = managed; }
    bool managed() const { return managed_; }

    // The part-number database. Database tags are handles of their own,
    // 1 for the first entry, 2 for the second, ...
    void add_database_part(const DatabasePart &entry);
    const std::vector<DatabasePart> &database() const { return database_; }
    tag_t database_tag(const std::string &number) const;
    const DatabasePart *database_part(tag_t db_tag) const;

    // Managed part file names: "@db:NUMBER/REVISION" for a master part, or
    // "@db:NUMBER/REVISION/FILE_TYPE/FILE_NAME". A master decodes with file
    // type "master" and the number as its file name.
    static std::string encode_managed_name(const ManagedName &name);
    static std::optional<ManagedName> decode_managed_name(const std::string &text);

    // The machine tool the part is posted for (empty: none named).
    const std::string &machine_name() const { return machine_name_; }
    void set_machine_name(const std::string &name) { machine_name_ = name; }

    // Folder of GRIP program stand-ins (empty: none), as the part file names it.
    const std::string &grip_dir() const { return grip_dir_; }
    void set_grip_dir(const std::string &folder) { grip_dir_ = folder; }

    // The part's units, an index into posting::kUnits; absent: the part
    // file gives none.
    const std::optional<std::size_t> &units() const { return units_; }
    void set_units(std::optional<std::size_t> units) { units_ = units; }

    // --- Part file ------------------------------------------------------------
    // Replaces the whole model with the file's; on any error throws
    // PartFileError and leaves the model as it was. The clock and the
    // description mode are kept. Reading takes time linear in the text; a
    // long one asks `interrupted` now and then, and when it answers true
    // gives up with PartLoadInterrupted.
    using Interrupted = std::function<bool()>;
    void load(const std::string &path);
    void load_text(const std::string &text, const std::string &origin, const Interrupted &interrupted = nullptr);
    // Throws PartFileError when the file cannot be written.
    void save(const std::string &path) const;
    std::string to_text() const;

private:
    void check_new_tag(tag_t tag) const;
    std::string with_paths(const std::string &dumped) const;
    CamObject &require(tag_t tag, const char *what);

    std::vector<CamObject> objects_;
    // Where each tag sits in objects_, and which group holds each member:
    // a part of many thousand objects answers a tag in constant time, so a
    // pass over a member list stays linear.
    std::unordered_map<tag_t, std::size_t> position_;
    std::unordered_map<tag_t, tag_t> holder_;
    tag_t setup_ = NULL_TAG;
    std::vector<tag_t> selection_;
    tag_t current_operation_ = NULL_TAG;
    std::function<HostTime()> clock_;
    std::vector<PartFile> parts_;
    tag_t display_part_ = NULL_TAG;
    tag_t work_part_ = NULL_TAG;
    bool managed_ = false;
    bool description_in_place_ = false;
    std::vector<DatabasePart> database_;
    std::string grip_dir_;
    std::string machine_name_;
    std::optional<std::size_t> units_;
    std::size_t assignments_ = 0;
    std::unordered_map<tag_t, std::size_t> assigned_;
};

EMUHOST_API const char *kind_name(ObjectKind kind);
EMUHOST_API std::optional<ObjectKind> kind_from_name(const std::string &name);

}  // namespace emuhost
