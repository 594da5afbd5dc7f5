// Control API of the emulated host: one session object holds everything the
// host's Open API libraries know, and tests and momsim drive it from here.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "emuhost/dialogs.h"
#include "emuhost/grip.h"
#include "emuhost/machine.h"
#include "emuhost/part.h"
#include "emuhost/translator.h"
#include "openapi.h"

namespace emuhost {

// Failure codes the emulated Open API answers with. Each has a text in the
// failure table that a fresh session starts with.
enum HostError : int {
    kErrNotFound = 1101,        // no such variable, object or file
    kErrInvalidArgument = 1102, // null pointer, unknown handle, bad value
    kErrInvalidTag = 1103,      // the tag names no object
    kErrNotNumber = 1104,       // an array element that is no real number
    kErrCannotBind = 1105,      // the translator refused a command name
};

// Thrown by a call that a test asked to throw.
struct InjectedFault : std::runtime_error {
    explicit InjectedFault(const std::string &call)
        : std::runtime_error("injected fault in " + call) {}
};

enum class TranslatorKind { Table, Tcl };

class EMUHOST_API Session {
public:
    Session();
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Back to a fresh host: new translator, empty logs, default failure
    // texts, no faults, empty part, no dialogs or answers.
    void reset(TranslatorKind kind = TranslatorKind::Table);
    // Works in `translator` from now on (momsim's own Tcl), keeping all
    // else the host holds: drives mapped before stay mapped.
    void use_translator(std::unique_ptr<Translator> translator);

    Translator &translator();
    // The MOM id handed to handlers as client data.
    MomId mom_id();
    // The opaque `param` the host hands to ufusr.
    void *ufusr_param();

    // Post-processor variables: NAME is the translator's global mom_NAME.
    void set_variable(const std::string &name, const std::string &value);
    void set_array_element(const std::string &name, int index, const std::string &value);
    void unset_variable(const std::string &name);
    std::optional<std::string> variable(const std::string &name);

    // System log and status line, line by line as the plug-in wrote them.
    const std::vector<std::string> &syslog() const { return syslog_; }
    const std::vector<std::string> &status_lines() const { return status_; }
    void clear_logs();
    // Called with every syslog or status text as it arrives (momsim).
    void on_syslog(std::function<void(const std::string &)> sink) { syslog_sink_ = std::move(sink); }
    void on_status(std::function<void(const std::string &)> sink) { status_sink_ = std::move(sink); }

    // Failure texts of UF_get_fail_message.
    void set_fail_text(int code, const std::string &text);
    void remove_fail_text(int code);
    std::optional<std::string> fail_text(int code) const;

    // Fault injection: the named Open API call returns `code` instead of
    // doing its work, once or every time; or it throws InjectedFault.
    void fail_call(const std::string &call, int code, bool once = false);
    void throw_in_call(const std::string &call, bool once = false);
    // The named call raises a real access violation (it writes to address
    // 0), as a host handing back a bad pointer would: only a caller that
    // catches structured exceptions survives it (the 64-bit Windows
    // plug-in's guards); anywhere else it ends the program.
    void crash_in_call(const std::string &call, bool once = false);
    void clear_faults();

    // Every Open API call made, by name, in order.
    const std::vector<std::string> &calls() const { return calls_; }
    void clear_calls() { calls_.clear(); }
    std::size_t count_calls(const std::string &call) const;

    // Open API start and end, as UF_initialize / UF_terminate count them.
    int open_count() const { return open_count_; }

    // Memory the host hands out and the caller releases with UF_free.
    void *allocate(std::size_t bytes);
    std::size_t outstanding_allocations() const { return live_.size(); }
    // Releases of memory the host never handed out or already took back.
    const std::vector<std::string> &release_errors() const { return release_errors_; }

    DialogHost &dialogs() { return dialogs_; }
    PartModel &part() { return part_; }
    GripHost &grip() { return grip_; }
    WindowsMachine &windows() { return windows_; }

    // --- used by the Open API functions themselves -----------------------
    // Records the call and applies an injected fault: returns the injected
    // code, throws, or answers nullopt when the call is to do its work.
    std::optional<int> enter(const char *call);
    void write_syslog(const std::string &text);
    void write_status(const std::string &text);
    void release(void *data);
    bool is_mom(MomId mom) const;
    bool is_param(void *param) const;

private:
    struct Fault {
        int code = 0;
        bool once = false;
        bool raise = false;
        bool crash = false;
    };
    void clear_state();

    Session *param_block_ = this;
    std::unique_ptr<Translator> translator_;
    std::vector<std::string> syslog_, status_, calls_, release_errors_;
    std::function<void(const std::string &)> syslog_sink_, status_sink_;
    std::map<int, std::string> fail_texts_;
    std::map<std::string, Fault> faults_;
    std::map<void *, std::size_t> live_;
    int open_count_ = 0;
    DialogHost dialogs_;
    PartModel part_;
    GripHost grip_;
    WindowsMachine windows_;
};

// The one session of this process.
EMUHOST_API Session &session();

// A plug-in library loaded as the host loads it: by path, entry points
// looked up by name, unloaded when the object goes.
class EMUHOST_API Plugin {
public:
    explicit Plugin(const std::string &path); // throws std::runtime_error
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    // Calls ufusr(param, &retcode, 0) with the session's param and answers
    // what ufusr left in retcode (which starts as -1).
    int run_ufusr();
    // Calls the named entry the same way (the host's MOM_run_user_function).
    int run_entry(const std::string &entry);
    int ask_unload();
    const std::string &path() const { return path_; }

private:
    void *symbol(const std::string &name) const;
    std::string path_;
    void *handle_ = nullptr;
};

}  // namespace emuhost
