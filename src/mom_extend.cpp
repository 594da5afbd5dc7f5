/*
 * tarvex: eighteen MOM_ commands for the post-processor's Tcl translator.
 *
 * The host loads this library, calls ufusr, and from then on calls the
 * bound handlers whenever a post-processor script runs one of the commands.
 * Every handler works from its arguments, the MOM id and the host alone; the
 * only thing kept between calls is each command's result text, which must
 * outlive the handler (the interpreter reads it after we return).
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#include <windows.h>
/* The start-up record handed to CreateProcessA carries its own size in cb;
 * the 64- and 32-bit hosts' kernels expect these. */
static_assert(sizeof(STARTUPINFOA) == (sizeof(void *) == 8 ? 104 : 68),
              "STARTUPINFOA has the size of neither Windows ABI");
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
 * 32-bit one is built without them. (<cstdint> gives UINTPTR_MAX: without
 * it the test would silently read 0 and drop the guards.) */
#if !defined(UINTPTR_MAX)
#error "UINTPTR_MAX is not defined: the guard switch cannot tell the pointer width"
#endif
#if UINTPTR_MAX > 0xFFFFFFFFu
#define TARVEX_GUARDS 1
#else
#define TARVEX_GUARDS 0
#endif

/* In the 64-bit Windows deliverable the guards also catch structured
 * exceptions (an access violation in the shell, behind a bad pointer from
 * the host, a stack overflow), which C++ catch (...) does not see there:
 * the guarded operation runs inside a structured exception frame. */
#if TARVEX_GUARDS && defined(_WIN32)
#define TARVEX_SEH_FRAME 1
#else
#define TARVEX_SEH_FRAME 0
#endif

#if TARVEX_SEH_FRAME
/* tarvex_seh_call(operation, context, code): runs operation(context) in a
 * structured exception frame. Answers 0 when the operation returned, 1 when
 * an exception was raised in it and caught, its code then left in *code. */
#if defined(_MSC_VER)
static int tarvex_seh_call(void (*operation)(void *), void *context, DWORD *code)
{
    __try {
        operation(context);
    } __except (*code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
        return 1;
    }
    return 0;
}
#elif defined(__GNUC__) && defined(__x86_64__)
/* mingw-w64's g++ has no __try/__except, so the frame is written out here
 * with the unwind directives GNU as knows. Its unwind data names
 * __C_specific_handler, which Windows exports, and a scope table of one
 * entry: the range holding the call (the nop keeps the return address,
 * which the handler looks up, inside it), the filter below, and where to
 * go on once the exception is caught. The frame keeps `code` in a slot of
 * its own, 32 bytes above its stack pointer (past the callee's home area),
 * where the filter finds it. */
extern "C" int tarvex_seh_call(void (*operation)(void *), void *context, DWORD *code);

extern "C" {
/* Called by __C_specific_handler while the exception is dispatched, with
 * the frame's stack pointer: notes the exception's code and takes it. */
static __attribute__((used)) LONG tarvex_seh_filter(EXCEPTION_POINTERS *pointers, void *frame)
{
    DWORD *code = *reinterpret_cast<DWORD **>(static_cast<char *>(frame) + 32);
    *code = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}
}

asm(R"(
    .text
    .globl tarvex_seh_call
    .def tarvex_seh_call; .scl 2; .type 32; .endef
    .seh_proc tarvex_seh_call
tarvex_seh_call:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
.Ltarvex_seh_begin:
    call *%rax
    nop
.Ltarvex_seh_end:
    xorl %eax, %eax
    addq $40, %rsp
    ret
.Ltarvex_seh_caught:
    movl $1, %eax
    addq $40, %rsp
    ret
    .seh_handler __C_specific_handler, @except
    .seh_handlerdata
    .long 1
    .rva .Ltarvex_seh_begin, .Ltarvex_seh_end, tarvex_seh_filter, .Ltarvex_seh_caught
    .text
    .seh_endproc
)");
#else
#error "no structured exception frame for this compiler: the 64-bit guards need one"
#endif
#endif

#if TARVEX_GUARDS
struct GuardedCall {
    void (*operation)(void *);
    void *context;
    bool thrown;
};

/* Inside the structured exception frame: C++ exceptions are caught here,
 * before they could reach a frame that is not C++. */
static void run_catching(void *call)
{
    GuardedCall *guarded = static_cast<GuardedCall *>(call);
    try {
        guarded->operation(guarded->context);
    } catch (...) {
        guarded->thrown = true;
    }
}
#endif

/* The catch-all guard: runs operation(context) and answers true when it
 * raised an exception, which then ends there. In the 64-bit Windows build
 * that is any exception, a C++ one or a structured one; in other 64-bit
 * builds a C++ exception. The 32-bit deliverable has no guard: the
 * operation runs as a plain call and whatever it raises goes on to the host.
 *
 * A guarded operation holds no object with a destructor: a structured
 * exception unwinds through the mingw frames between the fault and the
 * guard without running destructors, so such an object would be left
 * undone (memory kept, a lock held). */
static bool raises_exception(void (*operation)(void *), void *context)
{
#if TARVEX_GUARDS
    GuardedCall guarded = {operation, context, false};
#if TARVEX_SEH_FRAME
    DWORD code = 0;
    if (tarvex_seh_call(run_catching, &guarded, &code) != 0) {
        /* The overflow used up the stack's guard page: without a new one,
         * the next overflow would end the host instead of reaching a guard. */
        if (code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
        return true;
    }
#else
    run_catching(&guarded);
#endif
    return guarded.thrown;
#else
    operation(context);
    return false;
#endif
}

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

/* Makes an Open API call and reports it if it fails: the call's source text
 * is the text of the report, its file and line the compiler's record of the
 * call site. (The build maps the source tree's folder away, so that the file
 * is named as it lies in the tree, whichever folder it was built in.) */
#define REPORT(call) report_host_call(__FILE__, __LINE__, #call, (call))

/* Sets a result text that outlives the handler (a literal or a buffer the
 * command keeps for the purpose). */
static void set_result(InterpRecord *interp, const char *text)
{
    interp->result = const_cast<char *>(text);
    interp->error_line = 0;
}

/* Copies a whole text into a field of `size` bytes. A text that does not
 * fit is refused and the field keeps what it held: a path, name, title or
 * value the command acts on is never cut and then acted on. */
static bool copy_whole(char *field, size_t size, const char *text)
{
    if (strlen(text) >= size) return false;
    snprintf(field, size, "%s", text);
    return true;
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
    auto show_about = [](void *text) { ShellAboutA(NULL, about_application, static_cast<char *>(text), NULL); };
    if (raises_exception(show_about, credits)) {
        /* The shell's box failed: the host's own shows the credits. */
        UF_print_syslog(" ShellAbout error process \n", 0);
        uc1601(credits, 1);
    }
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
    if ((argc >= 2 && !copy_whole(filename, sizeof filename, argv[1])) ||
        (argc >= 3 && !copy_whole(filter, sizeof filter, argv[2]))) {
        filename[0] = '\0';
        UF_print_syslog(" MOM_ui_filebox: default file name or filter longer than 131 characters, "
                        "no file box shown \n", 0);
    } else {
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
    if (!copy_whole(label_array, sizeof label_array, argv[2]) ||
        !copy_whole(value_array, sizeof value_array, argv[3])) {
        UF_print_syslog(" MOM_uc1609: array name longer than 39 characters \n", 0);
        return 0;
    }

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
    if (!copy_whole(title, sizeof title, argv[1])) {
        UF_print_syslog(" mom_create_attribute - title longer than 50 characters, nothing assigned\n", 0);
        return 0;
    }
    if (argc >= 3 && !copy_whole(value_text, sizeof value_text, argv[2])) {
        UF_print_syslog(" mom_create_attribute - value longer than 132 characters, nothing assigned\n", 0);
        return 0;
    }
    if (argc >= 4 && !copy_whole(kind, sizeof kind, argv[3])) {
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
        if (!copy_whole(oper_name, sizeof oper_name, variable)) {
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

    if (!copy_whole(texts.program, sizeof texts.program, group_name)) {
        UF_print_syslog(" mom_set_attribute_program - 'group_name' longer than 30 characters, nothing stamped\n", 0);
        return 0;
    }
    int length = snprintf(texts.output_file, sizeof texts.output_file, "%s.%s", basename, suffix);
    if (length < 0 || (size_t)length >= sizeof texts.output_file) {
        UF_print_syslog(" mom_set_attribute_program - output file name longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }

    if (UF_MOM_ask_string(mom, "machine_time", &machine_time) != 0 || !machine_time) return 0;
    if (!copy_whole(texts.machine_time, sizeof texts.machine_time, machine_time)) {
        UF_print_syslog(" mom_set_attribute_program - 'machine_time' longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }

    /* The machine name is optional: without it the stamp carries an empty one. */
    if (UF_MOM_ask_string(mom, "machine_name", &machine_name) != 0 || !machine_name) machine_name = "";
    if (!copy_whole(texts.machine_name, sizeof texts.machine_name, machine_name)) {
        UF_print_syslog(" mom_set_attribute_program - 'machine_name' longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    return 1;
}

/* Takes the stamp texts from arguments 1 to 4; answers 0, with a log line,
 * when one does not fit its field. */
static int read_stamp_arguments(const char *argv[], StampTexts &texts)
{
    if (!copy_whole(texts.program, sizeof texts.program, argv[1])) {
        UF_print_syslog(" mom_set_attribute_program - program name longer than 30 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_whole(texts.output_file, sizeof texts.output_file, argv[2])) {
        UF_print_syslog(" mom_set_attribute_program - output file name longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_whole(texts.machine_time, sizeof texts.machine_time, argv[3])) {
        UF_print_syslog(" mom_set_attribute_program - machine time longer than 132 characters, nothing stamped\n", 0);
        return 0;
    }
    if (!copy_whole(texts.machine_name, sizeof texts.machine_name, argv[4])) {
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
        /* A read that raises (a bad pointer from the host) ends the
         * command with nothing stamped. */
        struct VariableReads {
            MomId mom;
            StampTexts *texts;
            int ready;
        } reads = {mom, &texts, 0};
        auto read_all = [](void *context) {
            VariableReads *r = static_cast<VariableReads *>(context);
            r->ready = read_stamp_variables(r->mom, *r->texts);
        };
        if (raises_exception(read_all, &reads) || !reads.ready) return 0;

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

/* Paths and names the commands act on are held in buffers of this size. A
 * longer one is refused, never cut: a cut path names another file. */
#define FILE_TEXT_SIZE 256
/* MOM_run_exec's command line, with its terminator. */
#define RUN_LINE_SIZE 1024
/* MOM_call_grip hands over at most this many texts, and the response. */
#define GRIP_MAX_TEXTS 29

/* The three file commands, the process commands and the GRIP call do
 * nothing with a missing, empty or one-character first argument. */
static bool has_long_first_argument(int argc, const char *argv[])
{
    return argc >= 2 && argv[1][0] != '\0' && argv[1][1] != '\0';
}

/* Copies `text` whole into a FILE_TEXT_SIZE buffer. When it does not
 * fit, logs that `command` refused its `what` and answers false. */
static bool copy_or_refuse(char *buffer, const char *text, const char *command, const char *what)
{
    if (copy_whole(buffer, FILE_TEXT_SIZE, text)) return true;
    char message[FILE_TEXT_SIZE];
    snprintf(message, sizeof message, " %s - %s longer than %d characters, nothing done\n",
             command, what, FILE_TEXT_SIZE - 1);
    UF_print_syslog(message, 0);
    return false;
}

/* Formats `head`, `text` and `tail` into a `size`-byte line. Only the text
 * is shortened when the line would not fit, so the line keeps its end. */
static void format_with_text(char *line, size_t size, const char *head, const char *text, const char *tail)
{
    size_t fixed = strlen(head) + strlen(tail);
    int room = fixed + 1 < size ? (int)(size - 1 - fixed) : 0;
    snprintf(line, size, "%s%.*s%s", head, room, text, tail);
}

/* Logs `head`, `text` and `tail` as one line of the usual size. */
static void log_with_text(const char *head, const char *text, const char *tail)
{
    char message[FILE_TEXT_SIZE];
    format_with_text(message, sizeof message, head, text, tail);
    UF_print_syslog(message, 0);
}

/* Opens the file for reading, others may read too, and closes it again:
 * answers whether that worked, and otherwise why not. */
static bool probe_file(const char *path, DWORD *error)
{
    HANDLE probe = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (probe == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    CloseHandle(probe);
    return true;
}

/* Whether a failed open means that there is no such file (as opposed to a
 * file that is there but locked or not readable). */
static bool is_missing_file(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_INVALID_DRIVE;
}

static int mom_call_grip(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    /* Holds each log line in turn and, at the end, the result text. */
    static char message[FILE_TEXT_SIZE];
    double user_response = 0.0;
    int status = -1;
    set_result(interp, "");
    if (!has_long_first_argument(argc, argv)) return 0;

    char grip_exe_path[FILE_TEXT_SIZE];
    if (!copy_or_refuse(grip_exe_path, argv[1], "MOM_call_grip", "program path")) return 0;
    UF_CFI_ask_file_exist(grip_exe_path, &status);
    if (status != 0) {
        log_with_text(" UF_CFI_ask_file_exist-File ", grip_exe_path, " not exist\n");
        return 0;
    }

    GripArg grip_arg_list[GRIP_MAX_TEXTS + 1];
    int cnt = 0;
    for (int i = 2; i < argc && cnt < GRIP_MAX_TEXTS; i++, cnt++) {
        grip_arg_list[cnt].type = GRIP_ARG_TEXT;
        grip_arg_list[cnt].zero = 0;
        grip_arg_list[cnt].address = const_cast<char *>(argv[i]);
    }
    grip_arg_list[cnt].type = GRIP_ARG_RESPONSE;
    grip_arg_list[cnt].zero = 0;
    grip_arg_list[cnt].address = &user_response;

    int code = REPORT(UF_call_grip (grip_exe_path, cnt+1, grip_arg_list));

    /* "%lf" of a response of huge magnitude runs to hundreds of digits; such
     * a number is written in exponent form rather than cut. */
    char response[200];
    if (snprintf(response, sizeof response, "%lf", user_response) >= (int)sizeof response)
        snprintf(response, sizeof response, "%e", user_response);
    snprintf(message, sizeof message, " UF_call_grip=%d user_response=%s\n", code, response);
    UF_print_syslog(message, 0);
    snprintf(message, sizeof message, "%s", response);
    set_result(interp, message);
    return 0;
}

/* The profile call reads any relative path that does not start at the
 * current folder from the Windows folder: a bare name (shop.ini) and one
 * with folders (sub\shop.ini) alike. The probe, like every other file
 * call, opens it from the current folder. Writes into `read_path` the path
 * that makes the profile call read the very file the probe found: the
 * current folder put before every path that is neither rooted (\ or /, a
 * network path included) nor drive-qualified (C:); those are kept. */
static void profile_path(char *read_path, size_t size, const char *file)
{
#if defined(_WIN32)
    static const char current_folder[] = ".\\";
#else
    static const char current_folder[] = "./";
#endif
    bool rooted = file[0] == '\\' || file[0] == '/';
    bool drive_qualified = file[0] != '\0' && file[1] == ':';
    snprintf(read_path, size, "%s%s", rooted || drive_qualified ? "" : current_folder, file);
}

static int mom_get_ini_string(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    static char value[FILE_TEXT_SIZE];
    snprintf(value, sizeof value, "%s", "");
    set_result(interp, value);
    if (argc < 4) {
        UF_print_syslog(" IniRead-wrong number arguments\n", 0);
        return 0;
    }
    char file[FILE_TEXT_SIZE], section[FILE_TEXT_SIZE], key[FILE_TEXT_SIZE];
    if (!copy_or_refuse(file, argv[1], "MOM_get_ini_string", "file path") ||
        !copy_or_refuse(section, argv[2], "MOM_get_ini_string", "section") ||
        !copy_or_refuse(key, argv[3], "MOM_get_ini_string", "key"))
        return 0;
    char default_value[FILE_TEXT_SIZE];
    memset(default_value, 0, sizeof default_value);

    DWORD error = 0;
    if (!probe_file(file, &error)) {
        log_with_text(" Can't find or read file =", file, "\n");
        return 0;
    }
    char read_path[FILE_TEXT_SIZE + 2];
    profile_path(read_path, sizeof read_path, file);
    struct Lookup {
        const char *section, *key, *default_value;
        char *value;
        DWORD size;
        const char *file;
    } lookup = {section, key, default_value, value, sizeof value, read_path};
    auto read_value = [](void *context) {
        Lookup *l = static_cast<Lookup *>(context);
        GetPrivateProfileStringA(l->section, l->key, l->default_value, l->value, l->size, l->file);
    };
    /* After a fault the result is what the lookup had written by then. */
    if (raises_exception(read_value, &lookup))
        UF_print_syslog("GetPrivateProfileString - Can't open and read *.ini file!\n", 0);
    value[sizeof value - 1] = '\0';
    set_result(interp, value);
    return 0;
}

static int mom_remove_file_ex(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    /* Holds the log line and then the result text. */
    static char message[FILE_TEXT_SIZE];
    snprintf(message, sizeof message, "%d", 1);
    set_result(interp, message);
    if (!has_long_first_argument(argc, argv)) return 0;

    int code = remove(argv[1]);
    if (code != 0 && errno == ENOENT) code = 0;
    if (code != 0) {
        char tail[64];
        snprintf(tail, sizeof tail, " , code error=%d\n", code);
        format_with_text(message, sizeof message, "Don't Removed ", argv[1], tail);
        UF_print_syslog(message, 0);
    }
    snprintf(message, sizeof message, "%d", code);
    return 0;
}

static int mom_deletefile(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    set_result(interp, "1");
    if (!has_long_first_argument(argc, argv)) return 0;
    char path[FILE_TEXT_SIZE];
    if (!copy_or_refuse(path, argv[1], "MOM_deletefile", "path")) return 0;

    DWORD error = 0;
    if (!probe_file(path, &error)) {
        log_with_text(" Can't find or read file =", path, "\n");
        /* A file that is there but cannot be opened is not deleted. */
        set_result(interp, is_missing_file(error) ? "0" : "1");
        return 0;
    }
    if (DeleteFileA(path)) set_result(interp, "0");
    return 0;
}

static int mom_createfile(MomId, InterpRecord *interp, int argc, const char *argv[])
{
    set_result(interp, "1");
    if (!has_long_first_argument(argc, argv)) return 0;
    char path[FILE_TEXT_SIZE];
    if (!copy_or_refuse(path, argv[1], "MOM_createfile", "path")) return 0;

    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        log_with_text(" Can't Find/Create or read/write file =", path, "\n");
        return 0;
    }
    CloseHandle(file);
    set_result(interp, "0");
    return 0;
}

/* Appends `word` to the command line, quoted so that the child's C runtime
 * gives it back as exactly this one argument: inside quotes, backslashes
 * are doubled where a quote follows them and an inner quote is escaped.
 * The program word takes no escapes at all (its backslashes are plain),
 * so one holding a quote cannot be written. Answers false, leaving the
 * line as it was, when the word cannot be written or does not fit. */
static bool append_quoted_word(char *line, size_t size, size_t *used, const char *word, bool program)
{
    size_t length = 2;
    for (const char *p = word; *p != '\0'; p++) {
        if (*p == '"') {
            if (program) return false;
            length += 2;
        } else if (*p == '\\' && !program) {
            size_t slashes = strspn(p, "\\");
            length += (p[slashes] == '"' || p[slashes] == '\0') ? 2 * slashes : slashes;
            p += slashes - 1;
        } else {
            length++;
        }
    }
    size_t blank = *used > 0 ? 1 : 0;
    if (*used + blank + length > size - 1) return false;

    char *out = line + *used;
    if (blank) *out++ = ' ';
    *out++ = '"';
    for (const char *p = word; *p != '\0'; p++) {
        if (*p == '"') {
            *out++ = '\\';
            *out++ = '"';
        } else if (*p == '\\' && !program) {
            size_t slashes = strspn(p, "\\");
            bool before_quote = p[slashes] == '"' || p[slashes] == '\0';
            for (size_t i = 0; i < (before_quote ? 2 * slashes : slashes); i++) *out++ = '\\';
            p += slashes - 1;
        } else {
            *out++ = *p;
        }
    }
    *out++ = '"';
    *out = '\0';
    *used += blank + length;
    return true;
}

static int mom_run_exec(MomId, InterpRecord *, int argc, const char *argv[])
{
    if (!has_long_first_argument(argc, argv)) return 0;
    char line[RUN_LINE_SIZE];
    memset(line, 0, sizeof line);
    size_t used = 0;
    /* A word that cannot be written or does not fit makes a line that is
     * not the one asked for: nothing is started then, rather than the
     * program with its arguments cut off. */
    bool complete = true;
    for (int i = 1; i < argc && complete; i++)
        complete = append_quoted_word(line, sizeof line, &used, argv[i], i == 1);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (!complete ||
        !CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        UF_print_syslog(" CreateProcess don't Start the child process \n", 0);
        return 0;
    }
    /* The child runs on by itself; we keep nothing of it. */
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

static int mom_shell_exec(MomId, InterpRecord *, int argc, const char *argv[])
{
    if (!has_long_first_argument(argc, argv)) return 0;
    char parameters[FILE_TEXT_SIZE];
    const char *parameter_text = NULL;
    if (argc > 2 && argv[2][0] != '\0') {
        if (!copy_or_refuse(parameters, argv[2], "MOM_shell_exec", "parameter text")) return 0;
        parameter_text = parameters;
    }
    struct ShellAction {
        const char *file, *parameters;
    } action = {argv[1], parameter_text};
    auto perform = [](void *context) {
        ShellAction *a = static_cast<ShellAction *>(context);
        ShellExecuteA(NULL, NULL, a->file, a->parameters, NULL, SW_SHOW);
    };
    if (raises_exception(perform, &action))
        UF_print_syslog(" ShellExecute execute with error \n", 0);
    return 0;
}

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
    {"MOM_assign_attribute", mom_create_attribute},
    {"MOM_set_attribute_program", mom_set_attribute_program},
    {"MOM_ask_part_attr", mom_ask_part_attr},

    /* file and process commands */
    {"MOM_call_grip", mom_call_grip},
    {"MOM_get_ini_string", mom_get_ini_string},
    {"MOM_remove_file_ex", mom_remove_file_ex},
    {"MOM_deletefile", mom_deletefile},
    {"MOM_createfile", mom_createfile},
    {"MOM_run_exec", mom_run_exec},
    {"MOM_shell_exec", mom_shell_exec},

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
