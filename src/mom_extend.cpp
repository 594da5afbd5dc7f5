/*
 * tarvex: eighteen MOM_ commands for the post-processor's Tcl translator.
 *
 * The host loads this library, calls ufusr, and from then on calls the
 * bound handlers whenever a post-processor script runs one of the commands.
 * Every handler works from its arguments, the MOM id and the host alone; the
 * only thing kept between calls is each command's result text, which must
 * outlive the handler (the interpreter reads it after we return).
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include "winapi.h"
#endif

#include "openapi.h"

#if defined(_WIN32)
#define TARVEX_EXPORT extern "C" __declspec(dllexport)
#else
#define TARVEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

/* The 64-bit deliverable wraps a few operations in catch-all guards; the
 * 32-bit one is built without them. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define TARVEX_GUARDS 1
#else
#define TARVEX_GUARDS 0
#endif

/* ---- Diagnostics ------------------------------------------------------- */

/* Shows why the Open API could not be started or ended. */
static void report_init_failure(int code)
{
    if (code == 0) return;
    char message[FAIL_MESSAGE_SIZE] = "";
    if (UF_get_fail_message(code, message) != 0)
        snprintf(message, sizeof message, "Open API error %d", code);
    UF_UI_set_status(message);
    fprintf(stderr, "%s\n", message);
}

/* Prints a failed Open API call with where it was made; answers the code. */
static int report_host_call(const char *file, int line, const char *call_text, int code)
{
    if (code == 0) return 0;
    printf("%s, line %d:  %s\n", file, line, call_text);
    char message[FAIL_MESSAGE_SIZE] = "";
    if (UF_get_fail_message(code, message) != 0)
        printf("    returned a %d\n", code);
    else
        printf("    returned error %d:  %s\n", code, message);
    return code;
}

/* Makes an Open API call and reports it if it fails; the call's source text
 * is the text of the report. */
#define REPORT(call) report_host_call(__FILE__, __LINE__, #call, (call))

/* Sets a result text that outlives the handler (a literal or a buffer the
 * command keeps for the purpose). */
static void set_result(InterpRecord *interp, const char *text)
{
    interp->result = const_cast<char *>(text);
    interp->error_line = 0;
}

/* ---- Dialog commands --------------------------------------------------- */

/* Appends each argument and a newline while the running total of lengths,
 * each plus one, stays below `limit`; the first argument that would reach
 * it ends the text. */
static void join_lines(char *text, size_t limit, int first, int argc, const char *argv[])
{
    size_t total = 0;
    for (int i = first; i < argc; i++) {
        size_t length = strlen(argv[i]);
        if (total + length + 1 >= limit) break;
        memcpy(text + total, argv[i], length);
        text[total + length] = '\n';
        total += length + 1;
    }
    text[total] = '\0';
}

static int mom_box_message(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    char text[132];
    join_lines(text, sizeof text, 1, argc, argv);
    if (argc >= 2) uc1601(text, 1);
    set_result(interp, "0");
    return 0;
}

/* ---- CAM data commands ------------------------------------------------- */

/* Copies a whole text into a field of `size` bytes. A text that does not
 * fit is refused: the field keeps what it held and the answer is 0, so a
 * title, value or name is never cut and then acted on. */
static int copy_unless_too_long(char *field, size_t size, const char *text)
{
    if (strlen(text) >= size) return 0;
    snprintf(field, size, "%s", text);
    return 1;
}

/* Asks the host for the time now into a time attribute value. One call
 * site for both commands that stamp times. */
static int ask_host_time(AttributeValue &value)
{
    value.type = ATTR_TYPE_TIME;
    value.value.time[0] = 0;
    value.value.time[1] = 0;
    return REPORT(uc4583("", "", value.value.time));
}

static int mom_create_attribute(MomId mom, InterpRecord *interp, int argc, const char *argv[])
{
    char title[51] = "";
    char value_text[133] = "";
    char kind[134] = "OPER";
    char oper_name[OPER_NAME_SIZE] = "";
    tag_t oper_tag = NULL_TAG;
    tag_t group_tag = NULL_TAG;

    set_result(interp, "1");
    if (argc <= 1) {
        UF_print_syslog(" mom_create_attribute - wrong number arguments\n", 0);
        return 0;
    }
    if (!copy_unless_too_long(title, sizeof title, argv[1])) {
        UF_print_syslog(" mom_create_attribute - title longer than 50 characters, nothing assigned\n", 0);
        return 0;
    }
    if (argc >= 3 && !copy_unless_too_long(value_text, sizeof value_text, argv[2])) {
        UF_print_syslog(" mom_create_attribute - value longer than 132 characters, nothing assigned\n", 0);
        return 0;
    }
    if (argc >= 4 && !copy_unless_too_long(kind, sizeof kind, argv[3])) {
        UF_print_syslog(" mom_create_attribute - kind longer than 133 characters, nothing assigned\n", 0);
        return 0;
    }

    /* The host names the operation being post-processed when handed the
     * MOM id in the operation tag's place. */
    oper_name[0] = '\0';
    UF_OPER_ask_name((tag_t)(uintptr_t)mom, oper_name);
    oper_name[sizeof oper_name - 1] = '\0';
    if (oper_name[0] == '\0') {
        const char *variable = NULL;
        if (UF_MOM_ask_string(mom, "operation_name", &variable) != 0 || variable == NULL) {
            UF_print_syslog(" mom_create_attribute - wrong 'operation_name'\n", 0);
            return 0;
        }
        if (!copy_unless_too_long(oper_name, sizeof oper_name, variable)) {
            UF_print_syslog(" mom_create_attribute - 'operation_name' longer than 133 characters, nothing assigned\n", 0);
            return 0;
        }
    }

    if (UF_OBJ_cycle_by_name(oper_name, &oper_tag) != 0) {
        UF_print_syslog(" mom_create_attribute - wrong assign attribute for 'operation_name'\n", 0);
        return 0;
    }
    tag_t oper = oper_tag;
    if (strcmp(kind, "PROGRAM") == 0) {
        UF_OPER_ask_program_group(oper_tag, &group_tag);
        if (group_tag != NULL_TAG) oper = group_tag;
    }
    if (oper == NULL_TAG) {
        UF_print_syslog(" mom_create_attribute - wrong 'operation_name' has NULL_TAG\n", 0);
        return 0;
    }

    AttributeValue value;
    memset(&value, 0, sizeof value);
    if (strcmp(value_text, "NULL") == 0 || strcmp(value_text, "TIME") == 0) {
        if (strcmp(value_text, "TIME") == 0)
            ask_host_time(value);
        else
            value.type = ATTR_TYPE_NULL;
        REPORT(UF_ATTR_assign(oper, title, value));
    } else {
        value.type = ATTR_TYPE_STRING;
        value.value.string = value_text;
        REPORT(UF_ATTR_assign(oper, title , value));
    }
    set_result(interp, "0");
    return 0;
}

/* The four texts one run stamps, the same for every object stamped. */
struct StampTexts {
    char program[31];
    char output_file[133];
    char machine_time[133];
    char machine_name[133];
};

/* Writes all four attributes onto one object, in table order; a failed
 * assignment is reported and the next one still made. */
static void stamp_object(tag_t prg, StampTexts &texts)
{
    char title[4][51] = {"OPU_FILE_UP_NAME", "OPU_FILE_UP_CREATE", "OPU_FILE_UP_TIME", "OPU_FILE_UP_MACHINE"};
    AttributeValue value;
    memset(&value, 0, sizeof value);

    value.type = ATTR_TYPE_STRING;
    value.value.string = texts.output_file;
    REPORT(UF_ATTR_assign(prg, title[0], value));

    ask_host_time(value);
    REPORT(UF_ATTR_assign(prg, title[1], value));

    value.type = ATTR_TYPE_STRING;
    value.value.string = texts.machine_time;
    REPORT(UF_ATTR_assign(prg, title[2], value));

    value.type = ATTR_TYPE_STRING;
    value.value.string = texts.machine_name;
    REPORT(UF_ATTR_assign(prg, title[3], value));
}

/* Reads the stamp texts from the post-processor's variables. Answers 0 when
 * the command is to end: a required variable is missing (quietly) or a text
 * does not fit its field (with a log line). */
static int read_stamp_variables(MomId mom, StampTexts &texts)
{
    const char *group_name = NULL;
    const char *operation_name = NULL;
    const char *basename = NULL;
    const char *suffix = NULL;
    const char *machine_time = NULL;
    const char *machine_name = NULL;

    if (UF_MOM_ask_string(mom, "group_name", &group_name) != 0) return 0;
    if (UF_MOM_ask_string(mom, "operation_name", &operation_name) != 0) return 0;
    if (UF_MOM_ask_string(mom, "output_file_basename", &basename) != 0) return 0;
    if (UF_MOM_ask_string(mom, "output_file_suffix", &suffix) != 0) return 0;
    if (!group_name || !basename || !suffix) return 0;

    if (!copy_unless_too_long(texts.program, sizeof texts.program, group_name)) {
        UF_print_syslog(" mom_set_attribute_program - 'group_name' longer than 30 characters, nothing stamped\n", 0);
        return 0;
    }
    int length = snprintf(texts.output_file, sizeof texts.output_file, "%s.%s", basename, suffix);
    if (length < 0 || (size_t)length >= sizeof texts.output_file) {
        UF_print_syslog(" mom_set_attribute_program - output file name longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }

    if (UF_MOM_ask_string(mom, "machine_time", &machine_time) != 0 || !machine_time) return 0;
    if (!copy_unless_too_long(texts.machine_time, sizeof texts.machine_time, machine_time)) {
        UF_print_syslog(" mom_set_attribute_program - 'machine_time' longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }

    /* The machine name is optional: without it the stamp carries an empty one. */
    if (UF_MOM_ask_string(mom, "machine_name", &machine_name) != 0 || !machine_name) machine_name = "";
    if (!copy_unless_too_long(texts.machine_name, sizeof texts.machine_name, machine_name)) {
        UF_print_syslog(" mom_set_attribute_program - 'machine_name' longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    return 1;
}

/* Takes the stamp texts from arguments 1 to 4; answers 0, with a log line,
 * when one does not fit its field. */
static int read_stamp_arguments(const char *argv[], StampTexts &texts)
{
    if (!copy_unless_too_long(texts.program, sizeof texts.program, argv[1])) {
        UF_print_syslog(" mom_set_attribute_program - program name longer than 30 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_unless_too_long(texts.output_file, sizeof texts.output_file, argv[2])) {
        UF_print_syslog(" mom_set_attribute_program - output file name longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_unless_too_long(texts.machine_time, sizeof texts.machine_time, argv[3])) {
        UF_print_syslog(" mom_set_attribute_program - machine time longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_unless_too_long(texts.machine_name, sizeof texts.machine_name, argv[4])) {
        UF_print_syslog(" mom_set_attribute_program - machine name longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    return 1;
}

/* The program group of that name among the program root's direct members
 * (the first in list order wins), else the first object of that name in
 * the part; 0 when there is none. */
static tag_t find_program(const char *program)
{
    tag_t setup_tag = NULL_TAG;
    tag_t prog_grp = NULL_TAG;
    int count_p = 0;
    tag_t *prog_list = NULL;
    tag_t prg = NULL_TAG;

    REPORT(UF_SETUP_ask_setup(&setup_tag));
    REPORT(UF_SETUP_ask_program_root(setup_tag, &prog_grp));
    REPORT(UF_NCGROUP_ask_member_list(prog_grp, &count_p, &prog_list));
    for (int i = 0; prog_list != NULL && i < count_p; i++) {
        char obj_name[OBJ_NAME_SIZE];
        obj_name[0] = '\0';
        UF_OBJ_ask_name(prog_list[i], obj_name);
        obj_name[sizeof obj_name - 1] = '\0';
        if (program[0] == '\0') break;
        if (strcmp(program, obj_name) == 0) {
            prg = prog_list[i];
            break;
        }
    }
    if (count_p != 0) UF_free(prog_list);

    if (prg == NULL_TAG) {
        if (UF_OBJ_cycle_by_name(program, &prg) != 0) return NULL_TAG;
    }
    return prg;
}

static int mom_set_attribute_program(MomId mom, InterpRecord *, int argc, const char *argv[])
{
    StampTexts texts;
    memset(&texts, 0, sizeof texts);

    if (argc < 5) {
        int ready = 0;
#if TARVEX_GUARDS
        try {
            ready = read_stamp_variables(mom, texts);
        } catch (...) {
            return 0;
        }
#else
        ready = read_stamp_variables(mom, texts);
#endif
        if (!ready) return 0;

        int obj_count = 0;
        tag_t *tags = NULL;
        REPORT(UF_UI_ONT_ask_selected_nodes(&obj_count, &tags));
        if (obj_count != 0) {
            for (int i = 0; tags != NULL && i < obj_count; i++) stamp_object(tags[i], texts);
            UF_free(tags);
            return 0;
        }
    } else if (!read_stamp_arguments(argv, texts)) {
        return 0;
    }

    tag_t prg = find_program(texts.program);
    if (prg != NULL_TAG) stamp_object(prg, texts);
    return 0;
}

static char part_attr_result[321];

static int mom_ask_part_attr(MomId mom, InterpRecord *interp, int, const char *[])
{
    char work_part_name[PART_NAME_SIZE] = "";
    char part_number[UGMGR_FIELD_SIZE] = "";
    char part_revision[UGMGR_FIELD_SIZE] = "";
    char part_file_type[UGMGR_FILE_TYPE_SIZE] = "";
    char part_file_name[UGMGR_FIELD_SIZE] = "";
    char part_name[UGMGR_FIELD_SIZE] = "";
    char part_desc[PART_DESC_SIZE] = "";
    logical is_active = 0;
    tag_t work_part_tag = NULL_TAG;

    set_result(interp, "");
    /* Native mode unless the host says otherwise. */
    if (REPORT(UF_is_ugmanager_active ( &is_active )) != 0) is_active = 0;

    work_part_tag = is_active ? UF_ASSEM_ask_work_part() : UF_PART_ask_display_part();
    if (work_part_tag == NULL_TAG) return 0;

    REPORT(UF_PART_ask_part_name( work_part_tag, work_part_name ));
    work_part_name[sizeof work_part_name - 1] = '\0';

    if (is_active) {
        UF_print_syslog(" mom_ask_part_attr - Encoding UG/Manager part filename...\n", 0);
        REPORT(UF_UGMGR_decode_part_filename( work_part_name, part_number, part_revision, part_file_type, part_file_name ));
        part_number[sizeof part_number - 1] = '\0';
        part_revision[sizeof part_revision - 1] = '\0';
        part_file_type[sizeof part_file_type - 1] = '\0';
        part_file_name[sizeof part_file_name - 1] = '\0';
    }
    UF_MOM_set_string(mom, "ask_part_number", part_number);
    UF_MOM_set_string(mom, "ask_part_revision", part_revision);
    UF_MOM_set_string(mom, "ask_part_file_type", part_file_type);
    UF_MOM_set_string(mom, "ask_part_file_name", part_file_name);

    if (!is_active) {
        /* The host either fills the buffer it is pointed at or points
         * elsewhere, at text of its own that we copy and give back. */
        char *p_part_desc = part_desc;
        REPORT(UF_PART_ask_description(work_part_tag,&p_part_desc));
        if (p_part_desc != part_desc && p_part_desc != NULL) {
            snprintf(part_desc, sizeof part_desc, "%s", p_part_desc);
            UF_free(p_part_desc);
        }
    } else {
        tag_t db_tag = NULL_TAG;
        if (REPORT(UF_UGMGR_ask_part_tag( part_number, &db_tag )) != 0) db_tag = NULL_TAG;
        REPORT(UF_UGMGR_ask_part_name_desc( db_tag, part_name, part_desc ));
        part_name[sizeof part_name - 1] = '\0';
    }
    part_desc[sizeof part_desc - 1] = '\0';
    UF_MOM_set_string(mom, "ask_part_name", part_name);
    UF_MOM_set_string(mom, "ask_part_desc", part_desc);

    if (is_active) {
        snprintf(part_attr_result, sizeof part_attr_result, "%s_%s", part_file_name, part_revision);
    } else {
        const char *base = strrchr(work_part_name, '\\');
        snprintf(part_attr_result, sizeof part_attr_result, "%s", base ? base + 1 : work_part_name);
    }
    set_result(interp, part_attr_result);
    return 0;
}

/* ---- File and process commands ----------------------------------------- */

/* ---- Registration ------------------------------------------------------ */

struct CommandEntry {
    const char *name;
    CommandHandler handler;
};

static const CommandEntry command_table[] = {
    /* dialog commands */
    {"MOM_box_message", mom_box_message},

    /* CAM data commands */
    {"MOM_assign_attribute", mom_create_attribute},
    {"MOM_set_attribute_program", mom_set_attribute_program},
    {"MOM_ask_part_attr", mom_ask_part_attr},

    /* file and process commands */

    /* the About box comes last */
};

static int register_commands(char *param)
{
    InterpRecord *interp = NULL;
    if (REPORT(UF_MOM_ask_interp_from_param ( param, &interp )) != 0) {
        UF_print_syslog("Don't get the TCL interpreter id from the ufusr 'param'\nDLL terminated...\n", 0);
        return -1;
    }
    MomId mom = NULL;
    if (REPORT(UF_MOM_ask_mom (param, &mom)) != 0) {
        UF_print_syslog("Don't get the MOM id from the ufusr param\nDLL terminated...\n", 0);
        return -1;
    }
    UF_print_syslog("- >tarvex start \n", 0);
    for (const CommandEntry &command : command_table) {
        if (UF_MOM_extend_xlator(mom, command.name, command.handler) != 0) {
            char message[128];
            snprintf(message, sizeof message, "Don't get UF_MOM_extend_xlator ... %s \n", command.name);
            UF_print_syslog(message, 0);
        }
    }
    UF_print_syslog("- >tarvex end \n", 0);
    return 0;
}

/* ---- Entry points ------------------------------------------------------ */

TARVEX_EXPORT void ufusr(char *param, int *retcode, int /*len*/)
{
    int code = UF_initialize();
    if (code == 0) {
        register_commands(param);
        code = UF_terminate();
    }
    report_init_failure(code);
    *retcode = 0;
}

TARVEX_EXPORT int ufusr_ask_unload(void)
{
    return 2;
}
