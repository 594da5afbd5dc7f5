// The part's identity: displayed and work part, file name, description,
// managed mode and the part-number database.
#include <cstring>

#include "emuhost/fields.h"
#include "emuhost/host_call.h"

using emuhost::fill;
using emuhost::session;

extern "C" {

tag_t UF_PART_ask_display_part(void) {
    HOST_CALL("UF_PART_ask_display_part");
    return session().part().display_part();
}

tag_t UF_ASSEM_ask_work_part(void) {
    HOST_CALL("UF_ASSEM_ask_work_part");
    return session().part().work_part();
}

int UF_PART_ask_part_name(tag_t part, char name[PART_NAME_SIZE]) {
    HOST_CALL("UF_PART_ask_part_name");
    if (name == nullptr) return emuhost::kErrInvalidArgument;
    const emuhost::PartFile *found = session().part().part(part);
    if (!found) return emuhost::kErrInvalidTag;
    fill(name, PART_NAME_SIZE, found->file_name);
    return 0;
}

// Hands back host memory of its own in place of the caller's pointer, which
// the caller releases with UF_free; or, when the model says so, fills the
// field the pointer points at.
int UF_PART_ask_description(tag_t part, char **description) {
    HOST_CALL("UF_PART_ask_description");
    if (description == nullptr) return emuhost::kErrInvalidArgument;
    const emuhost::PartFile *found = session().part().part(part);
    if (!found) return emuhost::kErrInvalidTag;
    const std::string &text = found->description;
    if (session().part().description_in_place()) {
        if (*description == nullptr) return emuhost::kErrInvalidArgument;
        fill(*description, PART_DESC_SIZE, text);
        return 0;
    }
    auto *copy = static_cast<char *>(session().allocate(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *description = copy;
    return 0;
}

int UF_is_ugmanager_active(logical *is_active) {
    HOST_CALL("UF_is_ugmanager_active");
    if (is_active == nullptr) return emuhost::kErrInvalidArgument;
    *is_active = session().part().managed() ? 1 : 0;
    return 0;
}

// Leaves the four fields as they were when the name does not decode.
int UF_UGMGR_decode_part_filename(const char *encoded, char number[UGMGR_FIELD_SIZE],
                                  char revision[UGMGR_FIELD_SIZE], char file_type[UGMGR_FILE_TYPE_SIZE],
                                  char file_name[UGMGR_FIELD_SIZE]) {
    HOST_CALL("UF_UGMGR_decode_part_filename");
    if (!encoded || !number || !revision || !file_type || !file_name) return emuhost::kErrInvalidArgument;
    auto decoded = emuhost::PartModel::decode_managed_name(encoded);
    if (!decoded) return emuhost::kErrInvalidArgument;
    fill(number, UGMGR_FIELD_SIZE, decoded->number);
    fill(revision, UGMGR_FIELD_SIZE, decoded->revision);
    fill(file_type, UGMGR_FILE_TYPE_SIZE, decoded->file_type);
    fill(file_name, UGMGR_FIELD_SIZE, decoded->file_name);
    return 0;
}

int UF_UGMGR_ask_part_tag(const char *number, tag_t *db_tag) {
    HOST_CALL("UF_UGMGR_ask_part_tag");
    if (number == nullptr || db_tag == nullptr) return emuhost::kErrInvalidArgument;
    *db_tag = session().part().database_tag(number);
    return *db_tag == NULL_TAG ? emuhost::kErrNotFound : 0;
}

int UF_UGMGR_ask_part_name_desc(tag_t db_tag, char name[UGMGR_FIELD_SIZE], char description[PART_DESC_SIZE]) {
    HOST_CALL("UF_UGMGR_ask_part_name_desc");
    if (name == nullptr || description == nullptr) return emuhost::kErrInvalidArgument;
    const emuhost::DatabasePart *found = session().part().database_part(db_tag);
    if (!found) return emuhost::kErrInvalidTag;
    fill(name, UGMGR_FIELD_SIZE, found->name);
    fill(description, PART_DESC_SIZE, found->description);
    return 0;
}

}  // extern "C"
