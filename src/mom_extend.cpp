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
    if (strlen(text) >= FILE_TEXT_SIZE) {
        char message[FILE_TEXT_SIZE];
        snprintf(message, sizeof message, " %s - %s longer than %d characters, nothing done\n",
                 command, what, FILE_TEXT_SIZE - 1);
        UF_print_syslog(message, 0);
        return false;
    }
    snprintf(buffer, FILE_TEXT_SIZE, "%s", text);
    return true;
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
#if TARVEX_GUARDS
    try {
#endif
        GetPrivateProfileStringA(section, key, default_value, value, sizeof value, file);
#if TARVEX_GUARDS
    } catch (...) {
        UF_print_syslog("GetPrivateProfileString - Can't open and read *.ini file!\n", 0);
    }
#endif
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
    /* The first word that does not fit ends the line. */
    for (int i = 1; i < argc; i++)
        if (!append_quoted_word(line, sizeof line, &used, argv[i], i == 1)) break;

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    /* Without the program on the line there is nothing to start. */
    if (used == 0 ||
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
#if TARVEX_GUARDS
    try {
#endif
        ShellExecuteA(NULL, NULL, argv[1], parameter_text, NULL, SW_SHOW);
#if TARVEX_GUARDS
    } catch (...) {
        UF_print_syslog(" ShellExecute execute with error \n", 0);
    }
#endif
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

    /* CAM data commands */

    /* file and process commands */
    {"MOM_call_grip", mom_call_grip},
    {"MOM_get_ini_string", mom_get_ini_string},
    {"MOM_remove_file_ex", mom_remove_file_ex},
    {"MOM_deletefile", mom_deletefile},
    {"MOM_createfile", mom_createfile},
    {"MOM_run_exec", mom_run_exec},
    {"MOM_shell_exec", mom_shell_exec},

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
