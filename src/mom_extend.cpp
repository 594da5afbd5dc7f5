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

/* Title of the information window and the button dialogs. */
static const char dialog_title[] = "PostProcessor.....";

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

struct PositionKeyword {
    const char *word;
    int code;
};

static const PositionKeyword position_keywords[] = {
    {"CURSOR", MSG_AT_CURSOR},
    {"CASCADE", MSG_CASCADE},
    {"RIGHT", MSG_RIGHT},
    {"LEFT", MSG_LEFT},
};

static int mom_info_message(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    int position = MSG_LEFT;
    int first = 1;
    if (argc >= 2) {
        for (const PositionKeyword &keyword : position_keywords) {
            if (strcmp(argv[1], keyword.word) == 0) {
                position = keyword.code;
                first = 2;
                break;
            }
        }
    }
    char text[1024];
    join_lines(text, sizeof text, first, argc, argv);
    if (argc >= 2) UF_UI_display_nonmodal_msg(dialog_title, text, position);
    set_result(interp, "");
    return 0;
}

/* The About box's text: the application name stands in its title. */
static const char about_application[] = "Quentor for UniGraphics";
static const char about_credits[] =
    "tarvex: eighteen MOM_ commands for post-processor scripts\n"
    "Dialogs, CAM attributes, part identity, files, processes and GRIP";
static_assert(sizeof about_credits <= 132, "the credits must fit the About box's text buffer");

static int mom_about_stub(MomId, InterpRecord *, int, const char *[])
{
    char credits[132];
    snprintf(credits, sizeof credits, "%s", about_credits);
#if TARVEX_GUARDS
    try {
        ShellAboutA(NULL, about_application, credits, NULL);
    } catch (...) {
        UF_print_syslog(" ShellAbout error process \n", 0);
        uc1601(credits, 1);
    }
#else
    ShellAboutA(NULL, about_application, credits, NULL);
#endif
    return 0;
}

struct SeverityKeyword {
    const char *word;
    int type;
};

static const SeverityKeyword severity_keywords[] = {
    {"ERROR", DIALOG_ERROR},
    {"WARNING", DIALOG_WARNING},
    {"WARN", DIALOG_WARNING},
    {"INFORMATION", DIALOG_INFORMATION},
    {"INFO", DIALOG_INFORMATION},
    {"QUESTION", DIALOG_QUESTION},
    {"?", DIALOG_QUESTION},
};

struct ButtonKeyword {
    const char *word;
    MessageButtons buttons;
};

/* The two-button sets use buttons 1 and 3, so "Cancel" always answers 3. */
static const ButtonKeyword button_keywords[] = {
    {"OK", {1, 0, 0, "OK", NULL, NULL, 1, 0, 0}},
    {"OKCANCEL", {1, 0, 1, "OK", NULL, "Cancel", 1, 0, 3}},
    {"RETRYCANCEL", {1, 0, 1, "Retry", NULL, "Cancel", 1, 0, 3}},
    {"YESNO", {1, 0, 1, "Yes", NULL, "No", 1, 0, 3}},
    {"YESNOCANCEL", {1, 1, 1, "Yes", "No", "Cancel", 1, 2, 3}},
    {"ABORTRETRYIGNORE", {1, 1, 1, "Abort", "Retry", "Ignore", 1, 2, 3}},
};

static const MessageButtons abort_buttons = {1, 0, 0, "Abort", NULL, NULL, 1, 0, 0};

/* Private copies of message lines, released after their dialog. */
struct MessageLines {
    char **lines;
    int count;
    int capacity;
};

/* Copies `text` as the next line; false when the lines are full or the copy
 * cannot be made, which ends the scan. */
static bool add_line(MessageLines *held, const char *text)
{
    if (held->count >= held->capacity) return false;
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy == NULL) return false;
    memcpy(copy, text, size);
    held->lines[held->count++] = copy;
    return true;
}

static void release_lines(MessageLines *held)
{
    for (int i = 0; i < held->count; i++) free(held->lines[i]);
    held->count = 0;
}

static int mom_ui_message(MomId mom, InterpRecord *interp, int argc, const char *argv[])
{
    int type = DIALOG_INFORMATION;
    MessageButtons buttons = button_keywords[0].buttons;
    char *lines[30];
    MessageLines held = {lines, 0, 30};

    for (int i = 1; i < argc; i++) {
        bool keyword = false;
        if (i <= 2) {
            for (const SeverityKeyword &severity : severity_keywords) {
                if (strcmp(argv[i], severity.word) == 0) {
                    type = severity.type;
                    keyword = true;
                    break;
                }
            }
            for (const ButtonKeyword &set : button_keywords) {
                if (keyword) break;
                if (strcmp(argv[i], set.word) == 0) {
                    buttons = set.buttons;
                    keyword = true;
                }
            }
        }
        if (!keyword && !add_line(&held, argv[i])) break;
    }

    int response = 0;
    if (held.count > 0) {
        UF_UI_message_dialog(dialog_title, type, held.lines, held.count, 1, &buttons, &response);
        release_lines(&held);
    }
    UF_MOM_set_int(mom, "ui_message_return", response);

    static char result[12];
    snprintf(result, sizeof result, "%d", response);
    set_result(interp, result);
    return 0;
}

static int mom_abort_ex(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    char *lines[15];
    MessageLines held = {lines, 0, 15};
    for (int i = 1; i < argc; i++)
        if (!add_line(&held, argv[i])) break;

    /* The joined message is the error text the interpreter reads after we
     * return; it lives until this command's next call, or until the host
     * unloads the library. */
    struct HeldMessage {
        char *text;
        ~HeldMessage() { free(text); }
    };
    static HeldMessage held_message = {NULL};
    free(held_message.text);
    held_message.text = NULL;
    char *message = NULL;
    if (held.count > 0) {
        size_t size = 1;
        for (int i = 0; i < held.count; i++) size += strlen(held.lines[i]) + 1;
        message = static_cast<char *>(malloc(size));
        if (message != NULL) {
            size_t used = 0;
            for (int i = 0; i < held.count; i++) {
                size_t length = strlen(held.lines[i]);
                memcpy(message + used, held.lines[i], length);
                message[used + length] = '\n';
                used += length + 1;
            }
            message[used] = '\0';
            held_message.text = message;
        }

        MessageButtons buttons = abort_buttons;
        int response = 0;
        UF_UI_message_dialog("PostProcessor Abort..", DIALOG_ERROR, held.lines, held.count, 1,
                             &buttons, &response);
        release_lines(&held);
    }

    interp->result = message != NULL ? message : const_cast<char *>("");
    interp->error_line = 1;
    return 1;
}

/* Lets a too long argument be refused rather than cut and acted on. */
static bool fits(const char *text, size_t field_size)
{
    return strlen(text) < field_size;
}

static int mom_ui_filebox(MomId mom, InterpRecord *interp, int argc, const char *argv[])
{
    static char filename[FILEBOX_NAME_SIZE];
    char filter[FILEBOX_NAME_SIZE];
    filename[0] = '\0';
    snprintf(filter, sizeof filter, "%s", "*");
    int response = -1;

    /* A default name or filter cut short would offer a file the script did
     * not name: refuse them, and report the box as one that answered
     * nothing, so the variables keep no stale answer. */
    if ((argc >= 2 && !fits(argv[1], sizeof filename)) || (argc >= 3 && !fits(argv[2], sizeof filter))) {
        UF_print_syslog(" MOM_ui_filebox: default file name or filter longer than 131 characters, "
                        "no file box shown \n", 0);
    } else {
        if (argc >= 2) snprintf(filename, sizeof filename, "%s", argv[1]);
        if (argc >= 3) snprintf(filter, sizeof filter, "%s", argv[2]);
        UF_UI_create_filebox("->Select File...", "..Select File...", filter, filename, filename, &response);
    }

    UF_MOM_set_int(mom, "ui_filebox_return", response);
    UF_MOM_set_string(mom, "ui_filebox_filename", filename);
    set_result(interp, filename);
    return 0;
}

static int mom_uc1600(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    char cue[UC1600_CUE_SIZE] = "";
    static char answer[UC1600_ANSWER_SIZE];
    answer[0] = '\0';
    int length;

    if (argc >= 2) snprintf(cue, sizeof cue, "%.79s", argv[1]);
    if (argc >= 3) snprintf(answer, sizeof answer, "%.132s", argv[2]);
    int response = uc1600(cue, answer, &length);

    set_result(interp, response == 3 || response == 5 ? answer : "");
    /* The cue is done with; its 80 bytes hold the longest log line. */
    snprintf(cue, sizeof cue, " uc1600 ( response=%d  ca2=%.40s )\n", response, answer);
    UF_print_syslog(cue, 0);
    return 0;
}

/* The item count as atoi reads it, without its overflow: a count too large
 * for an int is simply too large. */
static long read_count(const char *text)
{
    return strtol(text, NULL, 10);
}

static int mom_uc1609(MomId mom, InterpRecord *interp, int argc, const char *argv[])
{
    static char result[12];
    snprintf(result, sizeof result, "%d", 8);
    set_result(interp, result);

    if (argc != 4) return 0;
    long count = read_count(argv[1]);
    if (count < 1 || count > 14) return 0;

    char label_array[40];
    char value_array[40];
    /* A name cut short would read another variable than the script named. */
    if (!fits(argv[2], sizeof label_array) || !fits(argv[3], sizeof value_array)) {
        UF_print_syslog(" MOM_uc1609: array name longer than 39 characters \n", 0);
        return 0;
    }
    snprintf(label_array, sizeof label_array, "%s", argv[2]);
    snprintf(value_array, sizeof value_array, "%s", argv[3]);

    int items = static_cast<int>(count);
    const char *texts[14];
    double values[14];
    if (UF_MOM_ask_string_array(mom, label_array, items, texts) != 0) return 0;
    if (UF_MOM_ask_double_array(mom, value_array, items, values) != 0) return 0;

    /* Labels longer than their slot are cut to it: they are only shown. */
    char labels[14][UC1609_LABEL_SIZE];
    for (int i = 0; i < items; i++) {
        const char *text = texts[i] != NULL ? texts[i] : "";
        printf("%d)=%.13s=%lf \n", i, text, values[i]);
        snprintf(labels[i], sizeof labels[i], "%.15s", text);
    }

    int response = uc1609("", labels, items, values, NULL);
    UF_MOM_set_int(mom, "uc1609_return", response);
    snprintf(result, sizeof result, "%d", response);
    return 0;
}

/* ---- CAM data commands ------------------------------------------------- */

/* ---- File and process commands ----------------------------------------- */

/* ---- Registration ------------------------------------------------------ */

struct CommandEntry {
    const char *name;
    CommandHandler handler;
};

static const CommandEntry command_table[] = {
    /* dialog commands */
    {"MOM_box_message", mom_box_message},
    {"MOM_ui_message", mom_ui_message},
    {"MOM_abort_ex", mom_abort_ex},
    {"MOM_info_message", mom_info_message},
    {"MOM_ui_filebox", mom_ui_filebox},
    {"MOM_uc1600", mom_uc1600},
    {"MOM_uc1609", mom_uc1609},

    /* CAM data commands */

    /* file and process commands */

    /* the About box comes last */
    {"MOM_about_stub", mom_about_stub},
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
