// What the POSIX stand-ins of the Windows calls share among themselves:
// the last-error code, the one door every path comes in by, Windows' error
// codes for the C library's, and the handles they hand out. Compiled into
// the plug-in, hidden: nothing here is seen outside it.
//
// Two places matter to builds that must not touch the machine: every path a
// caller hands in passes through enter_path() (paths.cpp), and every process
// starts in start_process() (processes.cpp). Nothing else opens, deletes or
// starts anything.
//
// Both ask the emulated host's Windows machine first (emuhost/machine.h):
// enter_path() reads a path the Windows way when drives are mapped, and each
// process start is put to its process hook, which may record it, stand in for
// it or refuse it. The plug-in above knows nothing of either.
#pragma once

#include <string>

#include <sys/stat.h>
#include <sys/types.h>

#include "winapi.h"

namespace emuhost::stand_ins {

// Sets the calling thread's last-error code to `code` and answers it.
DWORD fail(DWORD code);

// Where a path from a caller enters the file system: the path on this
// machine that the Windows path names; empty for one that names no file (a
// drive that is not mapped, or in the confined build a path outside its
// folder).
std::string enter_path(const char *path);

bool is_directory(const std::string &path);

// Windows tells a missing file from a missing folder on its way.
DWORD missing_error(const std::string &path);

// The Windows error code for a C library error on `path`.
DWORD error_from_errno(int error, const std::string &path);

// Windows' read-only attribute: no write permission bit at all. It holds
// for every caller, root included.
bool is_read_only(const struct stat &info);

// A handle of CreateFileA or CreateProcessA, closed by CloseHandle.
enum class HandleKind { File, Process, Thread };
HANDLE make_handle(HandleKind kind, int fd, pid_t pid);

}  // namespace emuhost::stand_ins
