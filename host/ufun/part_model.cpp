// The CAM part model: objects, member lists, attributes, clock and part
// identity. The JSON part file lives in part_file.cpp.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "emuhost/part.h"

namespace emuhost {
namespace {

[[noreturn]] void refuse(const std::string &why) { throw std::invalid_argument(why); }

std::string tag_text(tag_t tag) { return "tag " + std::to_string(tag); }

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

bool all_digits(const std::string &text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

int number_at(const std::string &text, std::size_t from, std::size_t count) {
    return std::stoi(text.substr(from, count));
}

}  // namespace

// --- Host time ---------------------------------------------------------------

bool is_valid(HostTime when) {
    if (when.date <= 0 || when.time < 0) return false;
    int year = when.date / 10000, month = when.date / 100 % 100, day = when.date % 100;
    int hour = when.time / 10000, minute = when.time / 100 % 100, second = when.time % 100;
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > days_in_month(year, month)) return false;
    return hour < 24 && minute < 60 && second < 60;
}

std::string to_iso8601(HostTime when) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", static_cast<int>(when.date / 10000),
                  static_cast<int>(when.date / 100 % 100), static_cast<int>(when.date % 100),
                  static_cast<int>(when.time / 10000), static_cast<int>(when.time / 100 % 100),
                  static_cast<int>(when.time % 100));
    return text;
}

std::optional<HostTime> from_iso8601(const std::string &text) {
    // YYYY-MM-DDTHH:MM:SS
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    for (std::size_t at : {0u, 5u, 8u, 11u, 14u, 17u})
        if (!all_digits(text, at, at == 0 ? 4 : 2)) return std::nullopt;
    HostTime when;
    when.date = number_at(text, 0, 4) * 10000 + number_at(text, 5, 2) * 100 + number_at(text, 8, 2);
    when.time = number_at(text, 11, 2) * 10000 + number_at(text, 14, 2) * 100 + number_at(text, 17, 2);
    if (!is_valid(when)) return std::nullopt;
    return when;
}

HostTime local_now() {
    std::time_t seconds = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    HostTime when;
    when.date = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
    // A leap second reads as the second before it.
    when.time = local.tm_hour * 10000 + local.tm_min * 100 + std::min(local.tm_sec, 59);
    return when;
}

// --- Kinds -------------------------------------------------------------------

const char *kind_name(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Operation: return "operation";
    case ObjectKind::ProgramGroup: return "program_group";
    case ObjectKind::Setup: return "setup";
    case ObjectKind::Other: return "other";
    }
    return "other";
}

std::optional<ObjectKind> kind_from_name(const std::string &name) {
    for (ObjectKind kind : {ObjectKind::Operation, ObjectKind::ProgramGroup, ObjectKind::Setup, ObjectKind::Other})
        if (name == kind_name(kind)) return kind;
    return std::nullopt;
}

// --- The model -----------------------------------------------------------------

PartModel::PartModel() { reset(); }

void PartModel::reset() {
    objects_.clear();
    position_.clear();
    holder_.clear();
    setup_ = NULL_TAG;
    selection_.clear();
    current_operation_ = NULL_TAG;
    clock_ = local_now;
    parts_.clear();
    display_part_ = NULL_TAG;
    work_part_ = NULL_TAG;
    managed_ = false;
    description_in_place_ = false;
    database_.clear();
    grip_dir_.clear();
    machine_name_.clear();
    units_.reset();
}

void PartModel::check_new_tag(tag_t tag) const {
    if (tag == NULL_TAG) refuse("tag 0 is the null tag");
    if (object(tag) || part(tag)) refuse(tag_text(tag) + " is taken");
}

CamObject &PartModel::require(tag_t tag, const char *what) {
    CamObject *found = object(tag);
    if (!found) refuse(std::string(what) + " " + tag_text(tag) + " names no object");
    return *found;
}

CamObject &PartModel::add_object(tag_t tag, ObjectKind kind, const std::string &name) {
    check_new_tag(tag);
    if (name.size() > kMaxObjectName)
        refuse("name \"" + name + "\" is longer than " + std::to_string(kMaxObjectName) + " characters");
    if (kind == ObjectKind::Setup && setup_ != NULL_TAG) refuse("the part has a setup already");
    CamObject added;
    added.tag = tag;
    added.kind = kind;
    added.name = name;
    objects_.push_back(added);
    position_[tag] = objects_.size() - 1;
    if (kind == ObjectKind::Setup) setup_ = tag;
    return objects_.back();
}

CamObject *PartModel::object(tag_t tag) {
    auto found = position_.find(tag);
    return found == position_.end() ? nullptr : &objects_[found->second];
}

const CamObject *PartModel::object(tag_t tag) const {
    return const_cast<PartModel *>(this)->object(tag);
}

tag_t PartModel::program_root() const {
    const CamObject *the_setup = object(setup_);
    return the_setup ? the_setup->program_root : NULL_TAG;
}

tag_t PartModel::group_of(tag_t tag) const {
    auto found = holder_.find(tag);
    return found == holder_.end() ? NULL_TAG : found->second;
}

void PartModel::add_member(tag_t group, tag_t member) {
    CamObject &parent = require(group, "group");
    CamObject &child = require(member, "member");
    if (parent.kind != ObjectKind::ProgramGroup) refuse(tag_text(group) + " is no program group");
    if (child.kind == ObjectKind::Setup) refuse("the setup cannot be a member of a group");
    if (member == program_root()) refuse("the program root cannot be a member of a group");
    if (tag_t holder = group_of(member))
        refuse(tag_text(member) + " is a member of " + tag_text(holder) + " already");
    for (tag_t up = group; up != NULL_TAG; up = group_of(up))
        if (up == member) refuse(tag_text(member) + " would become a member of itself");
    parent.members.push_back(member);
    holder_[member] = group;
}

void PartModel::set_setup(tag_t setup, tag_t root) {
    CamObject &the_setup = require(setup, "setup");
    if (the_setup.kind != ObjectKind::Setup) refuse(tag_text(setup) + " is no setup");
    if (root != NULL_TAG) {
        CamObject &the_root = require(root, "program root");
        if (the_root.kind != ObjectKind::ProgramGroup) refuse(tag_text(root) + " is no program group");
        if (tag_t holder = group_of(root))
            refuse("the program root " + tag_text(root) + " is a member of " + tag_text(holder));
    }
    the_setup.program_root = root;
}

tag_t PartModel::next_by_name(const std::string &name, tag_t after) const {
    auto from = objects_.begin();
    if (after != NULL_TAG) {
        const CamObject *previous = object(after);
        if (!previous) return NULL_TAG;
        from = objects_.begin() + (previous - objects_.data()) + 1;
    }
    if (name.empty()) return NULL_TAG;
    for (auto it = from; it != objects_.end(); ++it)
        if (it->name == name) return it->tag;
    return NULL_TAG;
}

void PartModel::select(const std::vector<tag_t> &tags) {
    for (tag_t tag : tags)
        if (!object(tag)) refuse("selected " + tag_text(tag) + " names no object");
    selection_ = tags;
}

void PartModel::set_current_operation(tag_t oper) {
    if (oper != NULL_TAG) {
        const CamObject *found = object(oper);
        if (!found || found->kind != ObjectKind::Operation) refuse(tag_text(oper) + " is no operation");
    }
    current_operation_ = oper;
}

// --- Attributes ------------------------------------------------------------------

void PartModel::assign(tag_t tag, const Attribute &attribute) {
    CamObject &target = require(tag, "attribute target");
    if (attribute.title.empty()) refuse("the attribute title is empty");
    if (attribute.title.size() > kMaxAttributeTitle)
        refuse("title \"" + attribute.title + "\" is longer than " + std::to_string(kMaxAttributeTitle) +
               " characters");
    if (attribute.type == AttributeType::String && attribute.text.size() > kMaxAttributeString)
        refuse("value of \"" + attribute.title + "\" is longer than " + std::to_string(kMaxAttributeString) +
               " characters");
    if (attribute.type == AttributeType::Time && !is_valid(attribute.time))
        refuse("time {" + std::to_string(attribute.time.date) + ", " + std::to_string(attribute.time.time) +
               "} of \"" + attribute.title + "\" is no valid time");
    Attribute stored = attribute;
    if (stored.type != AttributeType::String) stored.text.clear();
    if (stored.type != AttributeType::Time) stored.time = HostTime{};
    ++assignments_;
    ++assigned_[tag];
    for (auto &existing : target.attributes)
        if (existing.title == stored.title) {
            existing = stored;
            return;
        }
    target.attributes.push_back(stored);
}

const Attribute *PartModel::attribute(tag_t tag, const std::string &title) const {
    const CamObject *target = object(tag);
    if (!target) return nullptr;
    for (const auto &existing : target->attributes)
        if (existing.title == title) return &existing;
    return nullptr;
}

// --- Clock -------------------------------------------------------------------------

void PartModel::set_clock(std::function<HostTime()> clock) { clock_ = clock ? std::move(clock) : local_now; }

void PartModel::fix_clock(HostTime when) {
    set_clock([when] { return when; });
}

HostTime PartModel::now() const { return clock_(); }

// --- Part identity -------------------------------------------------------------------

PartFile &PartModel::add_part(tag_t tag, const std::string &file_name, const std::string &description) {
    check_new_tag(tag);
    if (file_name.empty()) refuse("the part file name is empty");
    if (file_name.size() > kMaxPartFileName)
        refuse("file name \"" + file_name + "\" is longer than " + std::to_string(kMaxPartFileName) +
               " characters");
    parts_.push_back(PartFile{tag, file_name, description});
    return parts_.back();
}

const PartFile *PartModel::part(tag_t tag) const {
    for (const auto &candidate : parts_)
        if (candidate.tag == tag) return &candidate;
    return nullptr;
}

void PartModel::set_display_part(tag_t tag) {
    if (tag != NULL_TAG && !part(tag)) refuse(tag_text(tag) + " names no part");
    display_part_ = tag;
}

void PartModel::set_work_part(tag_t tag) {
    if (tag != NULL_TAG && !part(tag)) refuse(tag_text(tag) + " names no part");
    work_part_ = tag;
}

void PartModel::add_database_part(const DatabasePart &entry) {
    if (entry.number.empty()) refuse("the part number is empty");
    if (entry.number.size() > kMaxDatabaseField)
        refuse("number \"" + entry.number + "\" is longer than " + std::to_string(kMaxDatabaseField) +
               " characters");
    if (entry.name.size() > kMaxDatabaseField)
        refuse("name \"" + entry.name + "\" is longer than " + std::to_string(kMaxDatabaseField) + " characters");
    if (entry.description.size() > kMaxDatabaseDesc)
        refuse("the description is longer than " + std::to_string(kMaxDatabaseDesc) + " characters");
    if (database_tag(entry.number) != NULL_TAG) refuse("number \"" + entry.number + "\" is in the database already");
    database_.push_back(entry);
}

tag_t PartModel::database_tag(const std::string &number) const {
    for (std::size_t i = 0; i < database_.size(); ++i)
        if (database_[i].number == number) return static_cast<tag_t>(i + 1);
    return NULL_TAG;
}

const DatabasePart *PartModel::database_part(tag_t db_tag) const {
    if (db_tag == NULL_TAG || db_tag > database_.size()) return nullptr;
    return &database_[db_tag - 1];
}

// --- Managed part file names -----------------------------------------------------------

namespace {
const std::string kManagedPrefix = "@db:";
}

std::string PartModel::encode_managed_name(const ManagedName &name) {
    std::string text = kManagedPrefix + name.number + "/" + name.revision;
    if (!name.file_type.empty() || !name.file_name.empty()) text += "/" + name.file_type + "/" + name.file_name;
    return text;
}

std::optional<ManagedName> PartModel::decode_managed_name(const std::string &text) {
    if (text.compare(0, kManagedPrefix.size(), kManagedPrefix) != 0) return std::nullopt;
    std::vector<std::string> fields;
    std::size_t start = kManagedPrefix.size();
    for (;;) {
        std::size_t slash = text.find('/', start);
        fields.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (fields.size() != 2 && fields.size() != 4) return std::nullopt;
    for (const auto &field : fields)
        if (field.empty()) return std::nullopt;
    ManagedName name;
    name.number = fields[0];
    name.revision = fields[1];
    name.file_type = fields.size() == 4 ? fields[2] : "master";
    name.file_name = fields.size() == 4 ? fields[3] : fields[0];
    if (name.number.size() > kMaxDatabaseField || name.revision.size() > kMaxDatabaseField ||
        name.file_type.size() > kMaxFileType || name.file_name.size() > kMaxDatabaseField)
        return std::nullopt;
    return name;
}

}  // namespace emuhost
