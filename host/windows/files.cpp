// The stand-ins' files and handles: CreateFileA, CloseHandle and
// DeleteFileA, with Windows' share modes kept by advisory locks and its
// read-only attribute by the write permission bits (winapi.h).
#include <cerrno>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "stand_ins.h"

namespace emuhost::stand_ins {
namespace {

struct Object {
    HandleKind kind;
    int fd = -1;
    pid_t pid = 0;
};

std::mutex objects_lock;
std::set<Object *> objects;

}  // namespace

HANDLE make_handle(HandleKind kind, int fd, pid_t pid) {
    Object *object = new Object{kind, fd, pid};
    std::lock_guard<std::mutex> guard(objects_lock);
    objects.insert(object);
    return object;
}

}  // namespace emuhost::stand_ins

using namespace emuhost::stand_ins;

extern "C" {

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    try {
        if (path == nullptr) {
            fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        const std::string file = enter_path(path);
        if (file.empty()) {
            fail(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        const bool writes = (access & GENERIC_WRITE) != 0;
        const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        // Non-blocking, so that a FIFO cannot hold the caller until some
        // other process opens its other end.
        int open_flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        open_flags |= writes ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
        switch (disposition) {
        case CREATE_NEW: open_flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS: open_flags |= O_CREAT; break;
        case OPEN_EXISTING: break;
        case TRUNCATE_EXISTING:
            if (!writes) {
                fail(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            break;
        default: fail(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
        }

        struct stat info;
        bool existed = stat(file.c_str(), &info) == 0;
        if (existed) {
            if (disposition == CREATE_NEW) {
                fail(ERROR_FILE_EXISTS);
                return INVALID_HANDLE_VALUE;
            }
            if (S_ISDIR(info.st_mode) || ((writes || truncates) && is_read_only(info))) {
                fail(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
        }
        mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
        int fd = open(file.c_str(), open_flags, mode);
        if (fd < 0) {
            fail(error_from_errno(errno, file));
            return INVALID_HANDLE_VALUE;
        }
        // Windows files are never folders, FIFOs or sockets.
        if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
            close(fd);
            fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        int lock = (share_mode & FILE_SHARE_READ) ? LOCK_SH : LOCK_EX;
        if (flock(fd, lock | LOCK_NB) != 0) {
            int error = errno;
            close(fd);
            fail(error == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : error_from_errno(error, file));
            return INVALID_HANDLE_VALUE;
        }
        // Truncate only once the share check has let us in.
        if (truncates && S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) {
            int error = errno;
            close(fd);
            fail(error_from_errno(error, file));
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = make_handle(HandleKind::File, fd, 0);
        fail(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL CloseHandle(HANDLE handle) {
    Object *object = static_cast<Object *>(handle);
    {
        std::lock_guard<std::mutex> guard(objects_lock);
        if (objects.erase(object) == 0) {
            fail(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    if (object->fd >= 0) close(object->fd);
    delete object;
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    try {
        if (path == nullptr) {
            fail(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const std::string file = enter_path(path);
        struct stat info;
        if (lstat(file.c_str(), &info) != 0) {
            fail(error_from_errno(errno, file));
            return FALSE;
        }
        if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && is_read_only(info))) {
            fail(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (S_ISREG(info.st_mode)) {
            // An open handle keeps the file, as one without delete sharing does.
            int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
            if (fd >= 0) {
                bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
                close(fd);
                if (held) {
                    fail(ERROR_SHARING_VIOLATION);
                    return FALSE;
                }
            }
        }
        if (unlink(file.c_str()) != 0) {
            fail(error_from_errno(errno, file));
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

}  // extern "C"
