// GRIP: whether a program file exists, and running a program's stand-in.
#include <filesystem>
#include <system_error>

#include "emuhost/host_call.h"

namespace emuhost {

void GripHost::add_program(const std::string &path, GripProgram program) { programs_[path] = std::move(program); }

void GripHost::remove_program(const std::string &path) { programs_.erase(path); }

void GripHost::set_resolver(GripResolver resolver) { resolver_ = std::move(resolver); }

GripProgram GripHost::find(const std::string &path) const {
    auto found = programs_.find(path);
    if (found != programs_.end()) return found->second;
    if (resolver_) return resolver_(path);
    return {};
}

void GripHost::record(GripCall call) { calls_.push_back(std::move(call)); }

void GripHost::reset() {
    programs_.clear();
    resolver_ = nullptr;
    calls_.clear();
}

}  // namespace emuhost

using emuhost::session;

extern "C" {

// Status 0 when the path names something on the file system, 1 otherwise.
int UF_CFI_ask_file_exist(const char *path, int *status) {
    HOST_CALL("UF_CFI_ask_file_exist");
    if (path == nullptr || status == nullptr) return emuhost::kErrInvalidArgument;
    std::error_code error;
    std::optional<std::string> local = emuhost::windows_machine().local_path(path);
    *status = local && std::filesystem::exists(std::filesystem::path(*local), error) ? 0 : 1;
    return 0;
}

// Runs the stand-in registered for the path with the list's texts and
// response entries, and writes the response entries back. A list the host
// cannot read is refused before anything runs; a path without a stand-in
// fails as a file that holds no GRIP program. A stand-in's exception goes
// to the caller, as an injected fault does.
int UF_call_grip(const char *path, int count, GripArg *args) {
    HOST_CALL("UF_call_grip");
    if (path == nullptr || count < 0 || (count > 0 && args == nullptr)) return emuhost::kErrInvalidArgument;

    emuhost::GripCall call;
    call.path = path;
    call.count = count;
    emuhost::GripRun run;
    run.path = path;
    bool readable = true;
    for (int i = 0; i < count; ++i) {
        emuhost::GripEntry entry;
        entry.type = args[i].type;
        entry.zero = args[i].zero;
        if (args[i].address == nullptr) {
            readable = false;
        } else if (entry.type == GRIP_ARG_TEXT) {
            entry.text = static_cast<const char *>(args[i].address);
            run.texts.push_back(entry.text);
        } else if (entry.type == GRIP_ARG_RESPONSE) {
            entry.number = *static_cast<const double *>(args[i].address);
            run.numbers.push_back(entry.number);
        } else {
            readable = false;
        }
        call.entries.push_back(entry);
    }

    emuhost::GripProgram program = readable ? session().grip().find(path) : emuhost::GripProgram{};
    if (!readable)
        call.code = emuhost::kErrInvalidArgument;
    else if (!program)
        call.code = emuhost::kErrNotFound;
    else {
        try {
            call.code = program(run);
        } catch (...) {
            call.code = -1;
            session().grip().record(call);
            throw;
        }
        std::size_t next = 0;
        for (int i = 0; i < count && next < run.numbers.size(); ++i)
            if (args[i].type == GRIP_ARG_RESPONSE) *static_cast<double *>(args[i].address) = run.numbers[next++];
    }
    int code = call.code;
    session().grip().record(std::move(call));
    return code;
}

}  // extern "C"
