// CAM objects for the post-processor: operations, program groups, the
// setup, object names, attributes and the host clock, all answered from the
// session's part model.
#include <cstdint>

#include "emuhost/fields.h"
#include "emuhost/host_call.h"

using emuhost::CamObject;
using emuhost::ObjectKind;
using emuhost::fill;
using emuhost::session;

namespace {

// The post-processor names the operation it is working on by handing its
// MOM id, cut to a tag's width, where an operation tag belongs.
tag_t mom_as_tag() {
    return static_cast<tag_t>(reinterpret_cast<std::uintptr_t>(session().mom_id()));
}

bool is_kind(tag_t tag, ObjectKind kind) {
    const CamObject *found = session().part().object(tag);
    return found && found->kind == kind;
}

}  // namespace

extern "C" {

int UF_OPER_ask_name(tag_t oper, char name[OPER_NAME_SIZE]) {
    HOST_CALL("UF_OPER_ask_name");
    if (name == nullptr) return emuhost::kErrInvalidArgument;
    auto &part = session().part();
    if (oper == mom_as_tag()) {
        oper = part.current_operation();
        if (oper == NULL_TAG) return emuhost::kErrNotFound;
    }
    if (!is_kind(oper, ObjectKind::Operation)) return emuhost::kErrInvalidTag;
    fill(name, OPER_NAME_SIZE, part.object(oper)->name);
    return 0;
}

int UF_OPER_ask_program_group(tag_t oper, tag_t *group) {
    HOST_CALL("UF_OPER_ask_program_group");
    if (group == nullptr) return emuhost::kErrInvalidArgument;
    *group = NULL_TAG;
    if (!is_kind(oper, ObjectKind::Operation)) return emuhost::kErrInvalidTag;
    *group = session().part().group_of(oper);
    return 0;
}

int UF_NCGROUP_ask_member_list(tag_t group, int *count, tag_t **members) {
    HOST_CALL("UF_NCGROUP_ask_member_list");
    if (count == nullptr || members == nullptr) return emuhost::kErrInvalidArgument;
    *count = 0;
    *members = nullptr;
    if (!is_kind(group, ObjectKind::ProgramGroup)) return emuhost::kErrInvalidTag;
    const auto &list = session().part().object(group)->members;
    if (list.empty()) return 0;
    auto *array = static_cast<tag_t *>(session().allocate(list.size() * sizeof(tag_t)));
    for (std::size_t i = 0; i < list.size(); ++i) array[i] = list[i];
    *members = array;
    *count = static_cast<int>(list.size());
    return 0;
}

int UF_SETUP_ask_setup(tag_t *setup) {
    HOST_CALL("UF_SETUP_ask_setup");
    if (setup == nullptr) return emuhost::kErrInvalidArgument;
    *setup = session().part().setup();
    return *setup == NULL_TAG ? emuhost::kErrNotFound : 0;
}

int UF_SETUP_ask_program_root(tag_t setup, tag_t *root) {
    HOST_CALL("UF_SETUP_ask_program_root");
    if (root == nullptr) return emuhost::kErrInvalidArgument;
    *root = NULL_TAG;
    if (setup == NULL_TAG || setup != session().part().setup()) return emuhost::kErrInvalidTag;
    *root = session().part().program_root();
    return *root == NULL_TAG ? emuhost::kErrNotFound : 0;
}

int UF_OBJ_ask_name(tag_t object, char name[OBJ_NAME_SIZE]) {
    HOST_CALL("UF_OBJ_ask_name");
    if (name == nullptr) return emuhost::kErrInvalidArgument;
    const CamObject *found = session().part().object(object);
    if (!found) return emuhost::kErrInvalidTag;
    if (found->name.empty()) return emuhost::kErrNotFound;
    fill(name, OBJ_NAME_SIZE, found->name);
    return 0;
}

// Cycles through the part's objects in part order: each call answers the
// next object after *object that bears the name, and 0 after the last.
int UF_OBJ_cycle_by_name(const char *name, tag_t *object) {
    HOST_CALL("UF_OBJ_cycle_by_name");
    if (name == nullptr || object == nullptr) return emuhost::kErrInvalidArgument;
    auto &part = session().part();
    if (*object != NULL_TAG && !part.object(*object)) return emuhost::kErrInvalidTag;
    *object = part.next_by_name(name, *object);
    return 0;
}

int UF_ATTR_assign(tag_t object, const char *title, AttributeValue value) {
    HOST_CALL("UF_ATTR_assign");
    if (title == nullptr) return emuhost::kErrInvalidArgument;
    if (!session().part().object(object)) return emuhost::kErrInvalidTag;
    emuhost::Attribute attribute;
    attribute.title = title;
    switch (value.type) {
    case ATTR_TYPE_STRING:
        if (value.value.string == nullptr) return emuhost::kErrInvalidArgument;
        attribute.type = emuhost::AttributeType::String;
        attribute.text = value.value.string;
        break;
    case ATTR_TYPE_TIME:
        attribute.type = emuhost::AttributeType::Time;
        attribute.time = emuhost::HostTime{value.value.time[0], value.value.time[1]};
        break;
    case ATTR_TYPE_NULL: attribute.type = emuhost::AttributeType::Null; break;
    default: return emuhost::kErrInvalidArgument;
    }
    try {
        session().part().assign(object, attribute);
    } catch (const std::invalid_argument &) {
        return emuhost::kErrInvalidArgument;
    }
    return 0;
}

// Two empty texts ask for the time now; otherwise the date is read as
// YYYY-MM-DD and the time of day as HH:MM:SS.
int uc4583(const char *date, const char *time, int32_t host_time[2]) {
    HOST_CALL("uc4583");
    if (date == nullptr || time == nullptr || host_time == nullptr) return emuhost::kErrInvalidArgument;
    emuhost::HostTime when;
    if (*date == '\0' && *time == '\0') {
        when = session().part().now();
    } else {
        auto given = emuhost::from_iso8601(std::string(date) + "T" + time);
        if (!given) return emuhost::kErrInvalidArgument;
        when = *given;
    }
    host_time[0] = when.date;
    host_time[1] = when.time;
    return 0;
}

}  // extern "C"
