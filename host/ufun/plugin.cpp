// Loading a plug-in library the way the host does.
#include <algorithm>
#include <stdexcept>

#include "emuhost/session.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace emuhost {

namespace {
using Ufusr = void (*)(char *, int *, int);
using AskUnload = int (*)(void);

std::string last_load_error() {
#if defined(_WIN32)
    DWORD code = GetLastError();
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        text[--length] = '\0';
    return "error " + std::to_string(code) + (length > 0 ? std::string(": ") + text : std::string());
#else
    const char *text = dlerror();
    return text ? text : "unknown error";
#endif
}
}  // namespace

Plugin::Plugin(const std::string &path) : path_(path) {
#if defined(_WIN32)
    // The loader takes a full path with backslashes only; build systems and
    // scripts hand us forward slashes as often.
    std::string native = path;
    std::replace(native.begin(), native.end(), '/', '\\');
    handle_ = reinterpret_cast<void *>(LoadLibraryA(native.c_str()));
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr)
        throw std::runtime_error("cannot load " + path + ": " + last_load_error());
}

Plugin::~Plugin() {
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void *Plugin::symbol(const std::string &name) const {
#if defined(_WIN32)
    void *found = reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name.c_str()));
#else
    void *found = dlsym(handle_, name.c_str());
#endif
    if (found == nullptr) throw std::runtime_error(path_ + " has no entry point " + name);
    return found;
}

int Plugin::run_ufusr() { return run_entry("ufusr"); }

int Plugin::run_entry(const std::string &entry) {
    auto ufusr = reinterpret_cast<Ufusr>(symbol(entry));
    int retcode = -1;
    ufusr(static_cast<char *>(session().ufusr_param()), &retcode, 0);
    return retcode;
}

int Plugin::ask_unload() { return reinterpret_cast<AskUnload>(symbol("ufusr_ask_unload"))(); }

}  // namespace emuhost
