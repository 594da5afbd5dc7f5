// The stand-ins' paths and errors: the calling thread's last-error code,
// the door every path comes in by (read through the emulated host's drives,
// and in the confined build kept inside one folder), Windows' error codes
// for the C library's, and remove(), which the plug-in calls itself.
#include <cerrno>
#include <new>
#include <optional>
#include <string>

#include "emuhost/machine.h"
#include "emuhost/paths.h"
#include "stand_ins.h"

namespace emuhost::stand_ins {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

#if defined(TARVEX_CONFINED)
// The confined build (the fuzzer's) touches nothing outside one folder: a
// path elsewhere enters as the empty path, which names no file, and no
// process is ever started, only recorded (processes.cpp).
std::string confinement_root;

bool inside_confinement(const std::string &path) {
    if (confinement_root.empty() || path.compare(0, confinement_root.size() + 1, confinement_root + "/") != 0)
        return false;
    // No way up and out: no ".." component anywhere; and the folder itself
    // ("root/", "root/.") is no path inside it, so it cannot be removed.
    std::string::size_type last = 0;
    for (std::string::size_type start = 0; start <= path.size();) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        last = start;
        start = end + 1;
    }
    return last < path.size() && path.compare(last, std::string::npos, ".") != 0;
}
#endif

// The Windows path as this file system names it; empty for a drive that is
// not mapped, which names no file.
std::string machine_path(const char *path) {
    std::optional<std::string> local = windows_machine().local_path(path);
    return local ? *local : std::string();
}

}  // namespace

DWORD fail(DWORD code) {
    last_error = code;
    return code;
}

#if defined(TARVEX_CONFINED)
std::string enter_path(const char *path) {
    std::string local = machine_path(path);
    return inside_confinement(local) ? local : std::string();
}
#else
std::string enter_path(const char *path) { return machine_path(path); }
#endif

bool is_directory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

DWORD missing_error(const std::string &path) {
    return is_directory(folder_of(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD error_from_errno(int error, const std::string &path) {
    switch (error) {
    case ENOENT: return missing_error(path);
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG: return ERROR_BAD_ENVIRONMENT;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    default: return ERROR_GEN_FAILURE;
    }
}

bool is_read_only(const struct stat &info) { return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

}  // namespace emuhost::stand_ins

extern "C" {

DWORD GetLastError(void) { return emuhost::stand_ins::last_error; }

void SetLastError(DWORD code) { emuhost::stand_ins::last_error = code; }

#if !defined(TARVEX_CONFINED)
// The C library's remove(), which the plug-in calls itself, reads its path
// as the Windows calls do: the plug-in is linked with --wrap=remove. (The
// confined build's fuzzer wraps remove() itself.)
int __real_remove(const char *path);
int __wrap_remove(const char *path) {
    if (path == nullptr) return __real_remove(path);
    try {
        std::optional<std::string> local = emuhost::windows_machine().local_path(path);
        if (!local) {
            errno = ENOENT;
            return -1;
        }
        return __real_remove(local->c_str());
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
        return -1;
    }
}
#endif

#if defined(TARVEX_CONFINED)
void tarvex_confine_to(const char *root) { emuhost::stand_ins::confinement_root = root != nullptr ? root : ""; }

int tarvex_path_confined(const char *path) {
    return path != nullptr && emuhost::stand_ins::inside_confinement(path);
}
#endif

}  // extern "C"
