// The post-processor's translator as the emulated host sees it: a place to
// bind commands, call them by their words, and keep variables.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "openapi.h"

#if defined(_WIN32)
#  define EMUHOST_API OPENAPI_API
#else
#  define EMUHOST_API __attribute__((visibility("default")))
#endif

namespace emuhost {

// What a command call leaves behind: the handler's return code, the
// interpreter's result text and its error line.
struct CallResult {
    int code = 0;
    std::string result;
    int error_line = 0;
};

class EMUHOST_API Translator {
public:
    virtual ~Translator() = default;

    // The record whose head the plug-in's handlers write into.
    virtual InterpRecord *record() = 0;

    // Binds `name` to `handler`, called with `client_data`. Returns false
    // when the name cannot be bound.
    virtual bool bind(const std::string &name, CommandHandler handler, MomId client_data) = 0;

    // Names bound through bind(), in the order they were first bound.
    virtual std::vector<std::string> bound() const = 0;

    // Runs the command named by words[0] with the rest as its arguments.
    virtual CallResult call(const std::vector<std::string> &words) = 0;

    // Runs a script (Tcl source for the Tcl translator, one command per line
    // of blank-separated words for the table translator).
    virtual CallResult eval(const std::string &script) = 0;

    // Global variables by their full name ("mom_group_name"). get() answers
    // a pointer that stays valid until the variable changes.
    virtual const char *get(const std::string &name) = 0;
    // set() and set_element() answer false when the translator refuses the
    // value (a scalar set on an array name, say); nothing is changed then.
    virtual bool set(const std::string &name, const std::string &value) = 0;
    virtual void unset(const std::string &name) = 0;

    // Elements of global arrays: name(index).
    virtual const char *get_element(const std::string &array, const std::string &index) = 0;
    virtual bool set_element(const std::string &array, const std::string &index,
                             const std::string &value) = 0;

    virtual bool is_tcl() const = 0;
};

// The Tcl-free translator: a command table, a variable map and an
// interpreter record of its own.
EMUHOST_API std::unique_ptr<Translator> make_table_translator();

// True when this build of the host carries the real Tcl translator.
EMUHOST_API bool have_tcl();

// The real Tcl 8.6 translator. With `tcl_interp` null it creates and owns an
// interpreter; otherwise it works in the given Tcl_Interp, which the caller
// keeps alive. Throws std::runtime_error in a build without Tcl.
EMUHOST_API std::unique_ptr<Translator> make_tcl_translator(void *tcl_interp = nullptr);

}  // namespace emuhost
