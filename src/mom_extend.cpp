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
