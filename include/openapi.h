/*
 * Declarations of the CAD/CAM host's Open API as the tarvex plug-in uses it:
 * the functions of the host libraries libufun and libugopenint, and the
 * records that cross the boundary. The host binds these by name when it loads
 * the plug-in; the emulated host in host/ implements the same declarations.
 *
 * Every function returns a signed 32-bit code, 0 meaning success, except
 * UF_free (nothing), the two part queries (a tag), and uc1600 / uc1609,
 * which return the user's response.
 */
#ifndef TARVEX_OPENAPI_H
#define TARVEX_OPENAPI_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(OPENAPI_BUILDING_HOST)
#    define OPENAPI_API __declspec(dllexport)
#  else
#    define OPENAPI_API __declspec(dllimport)
#  endif
#else
#  define OPENAPI_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Identifier of a host object (part, operation, program group); 0 is none. */
typedef uint32_t tag_t;
#define NULL_TAG ((tag_t)0)

/* The host's logical (true/false) answer. */
typedef int32_t logical;

/* Opaque handle of the post-processor's translator. */
typedef void *MomId;

/* Head of the host interpreter's record. The plug-in reads and writes
 * `result` and `error_line`; `free_proc` belongs to the interpreter. */
typedef struct InterpRecord {
    char *result;
    void (*free_proc)(char *);
    int32_t error_line;
} InterpRecord;

/* Every command handler has this shape; the host calls it with the MOM id
 * as client data. Returns 0 (ok) or 1 (error). */
typedef int (*CommandHandler)(MomId client_data, InterpRecord *interp,
                              int argc, const char *argv[]);

/* Attribute type codes understood by UF_ATTR_assign. */
enum { ATTR_TYPE_TIME = 3, ATTR_TYPE_NULL = 4, ATTR_TYPE_STRING = 5 };

/* Attribute value, handed to UF_ATTR_assign by value. */
typedef struct AttributeValue {
    int32_t type;
    union {
        char *string;    /* type 5 */
        int32_t time[2]; /* type 3: the host time written by uc4583 */
    } value;
} AttributeValue;

/* The three push buttons of UF_UI_message_dialog. An absent button has
 * flag 0, a null label and response 0. */
typedef struct MessageButtons {
    uint8_t button1;
    uint8_t button2;
    uint8_t button3;
    const char *label1;
    const char *label2;
    const char *label3;
    int32_t response1;
    int32_t response2;
    int32_t response3;
} MessageButtons;

/* Dialog types of UF_UI_message_dialog. */
enum { DIALOG_ERROR = 0, DIALOG_WARNING = 1, DIALOG_INFORMATION = 2, DIALOG_QUESTION = 3 };

/* Position codes of UF_UI_display_nonmodal_msg. */
enum { MSG_AT_CURSOR = 0, MSG_CASCADE = 1, MSG_RIGHT = 2, MSG_LEFT = 3 };

/* One entry of the argument list of UF_call_grip. */
enum { GRIP_ARG_RESPONSE = 1, GRIP_ARG_TEXT = 9 };
typedef struct GripArg {
    int32_t type;
    int32_t zero;
    void *address;
} GripArg;

/* Sizes of the texts the host fills, each with its terminator. */
enum {
    FAIL_MESSAGE_SIZE = 133,
    OBJ_NAME_SIZE = 31,
    OPER_NAME_SIZE = 134,
    PART_NAME_SIZE = 257,
    UGMGR_FIELD_SIZE = 33,
    UGMGR_FILE_TYPE_SIZE = 14,
    PART_DESC_SIZE = 241,
    UC1609_LABEL_SIZE = 16,
    FILEBOX_NAME_SIZE = 132, /* file box: filter and file name fields */
    UC1600_CUE_SIZE = 80,
    UC1600_ANSWER_SIZE = 133
};

/* ---- libufun ---------------------------------------------------------- */

OPENAPI_API int UF_initialize(void);
OPENAPI_API int UF_terminate(void);
OPENAPI_API int UF_get_fail_message(int code, char message[FAIL_MESSAGE_SIZE]);
OPENAPI_API int UF_print_syslog(const char *text, logical flag);
OPENAPI_API void UF_free(void *data);

OPENAPI_API int UF_MOM_ask_interp_from_param(void *param, InterpRecord **interp);
OPENAPI_API int UF_MOM_ask_mom(void *param, MomId *mom);
OPENAPI_API int UF_MOM_extend_xlator(MomId mom, const char *name, CommandHandler handler);
OPENAPI_API int UF_MOM_ask_string(MomId mom, const char *name, const char **value);
OPENAPI_API int UF_MOM_ask_string_array(MomId mom, const char *name, int count, const char *texts[]);
OPENAPI_API int UF_MOM_ask_double_array(MomId mom, const char *name, int count, double values[]);
OPENAPI_API int UF_MOM_set_string(MomId mom, const char *name, const char *value);
OPENAPI_API int UF_MOM_set_int(MomId mom, const char *name, int value);

OPENAPI_API int UF_OPER_ask_name(tag_t oper, char name[OPER_NAME_SIZE]);
OPENAPI_API int UF_OPER_ask_program_group(tag_t oper, tag_t *group);
OPENAPI_API int UF_NCGROUP_ask_member_list(tag_t group, int *count, tag_t **members);
OPENAPI_API int UF_SETUP_ask_setup(tag_t *setup);
OPENAPI_API int UF_SETUP_ask_program_root(tag_t setup, tag_t *root);
OPENAPI_API int UF_OBJ_ask_name(tag_t object, char name[OBJ_NAME_SIZE]);
OPENAPI_API int UF_OBJ_cycle_by_name(const char *name, tag_t *object);
OPENAPI_API int UF_ATTR_assign(tag_t object, const char *title, AttributeValue value);
OPENAPI_API int uc4583(const char *date, const char *time, int32_t host_time[2]);

OPENAPI_API tag_t UF_PART_ask_display_part(void);
OPENAPI_API tag_t UF_ASSEM_ask_work_part(void);
OPENAPI_API int UF_PART_ask_part_name(tag_t part, char name[PART_NAME_SIZE]);
OPENAPI_API int UF_PART_ask_description(tag_t part, char **description);
OPENAPI_API int UF_is_ugmanager_active(logical *is_active);
OPENAPI_API int UF_UGMGR_decode_part_filename(const char *encoded,
                                              char number[UGMGR_FIELD_SIZE],
                                              char revision[UGMGR_FIELD_SIZE],
                                              char file_type[UGMGR_FILE_TYPE_SIZE],
                                              char file_name[UGMGR_FIELD_SIZE]);
OPENAPI_API int UF_UGMGR_ask_part_tag(const char *number, tag_t *db_tag);
OPENAPI_API int UF_UGMGR_ask_part_name_desc(tag_t db_tag, char name[UGMGR_FIELD_SIZE],
                                            char description[PART_DESC_SIZE]);

OPENAPI_API int UF_CFI_ask_file_exist(const char *path, int *status);
OPENAPI_API int UF_call_grip(const char *path, int count, GripArg *args);

/* ---- libugopenint ----------------------------------------------------- */

OPENAPI_API int UF_UI_set_status(const char *text);
OPENAPI_API int UF_UI_display_nonmodal_msg(const char *title, const char *text, int position);
OPENAPI_API int UF_UI_message_dialog(const char *title, int type, char *lines[], int count,
                                     uint8_t translate, MessageButtons *buttons, int *response);
OPENAPI_API int UF_UI_create_filebox(const char *prompt, const char *title, char *filter,
                                     char *default_name, char *filename, int *response);
OPENAPI_API int UF_UI_ONT_ask_selected_nodes(int *count, tag_t **objects);
OPENAPI_API int uc1600(char *cue, char *answer, int *length);
OPENAPI_API int uc1601(const char *text, int flag);
OPENAPI_API int uc1609(const char *title, char labels[][UC1609_LABEL_SIZE], int count,
                       double values[], int *item);

#ifdef __cplusplus
}
#endif

#endif
