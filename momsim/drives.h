//   momsim --drive C:=DIR [--drive D:=DIR ...] post.tcl
//
// Drive letters for posts written for Windows: --drive X:=DIR maps drive X:
// to a folder, below the plug-in (the emulated host's Windows machine, which
// the POSIX stand-ins of the Windows calls ask) and in the post's own Tcl
// file commands (a Tcl filesystem that claims X:\... and X:/... paths).
// Without --drive nothing here is active and paths are used as given.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <tcl.h>

#include "options.h"

namespace momsim {

// Maps each drive to its folder, made absolute, in the host's Windows
// machine, before anything else is read: the script, the plug-ins and
// every path after them may name a drive. Throws UsageError for a folder
// that is none.
void map_drives(const std::vector<std::pair<char, std::string>> &drives);

// The file on this machine that `path` names, where `source` gave it (an
// option, "--output", or a variable, "mom_output_file_full_name"): with
// drives mapped, a path that starts with a drive letter is read through
// them, as the post's own paths are; any other path, and every path
// without --drive, is used as given. Throws UsageError naming `source` for
// a drive that is not mapped and for a network path.
std::string local_path_of(const std::string &source, const std::string &path);

// Reads the paths of the options through the drives (local_path_of), each
// replaced by the file it names: --answers, --part, --save, --transcript,
// --syslog, --grip-dir, --exec-dir and --def. The script, --load and
// --output are read where they are used: the script keeps the name the
// post is given, --load is looked up as the host looks a library up, and
// --output gives the post its mom_output_file_ variables as written.
void map_option_paths(Options &options);

// The Tcl filesystem of the mapped drives: while it is registered, "open",
// "file", "source", "glob" and every other Tcl file operation read a path
// that starts with a drive letter through the host's mapping (either slash,
// names in any case) and work on the folder it maps to. Paths without a
// drive letter stay with Tcl's own filesystem. Tcl splits paths at "/"
// only, so "file dirname" and the like take C:/... paths apart but not
// C:\... ones. "cd" to a folder on a drive changes to the folder it maps
// to. Registered for the lifetime of the object, and only when a drive is
// mapped.
class DriveFilesystem {
public:
    explicit DriveFilesystem(Tcl_Interp *interp);
    ~DriveFilesystem();
    DriveFilesystem(const DriveFilesystem &) = delete;
    DriveFilesystem &operator=(const DriveFilesystem &) = delete;

private:
    bool registered_ = false;
};

}  // namespace momsim
