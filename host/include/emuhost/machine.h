// The emulated Windows machine below the plug-in: where its drive letters
// lie on this file system, and who decides about the processes it starts.
//
// The plug-in reads no configuration of its own. On POSIX its Windows calls
// come from the stand-ins in host/windows/, and every path they are handed
// and every process they are asked to start passes through this object, which
// momsim configures (--drive, --exec-dir, --no-exec). The host's own calls
// that take a path (UF_CFI_ask_file_exist) read it here too. With no drive
// mapped and no process hook set, paths and processes are left exactly as
// the caller gave them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emuhost/translator.h"

namespace emuhost {

// One process start the plug-in asked for, as the stand-in saw it.
struct ProcessStart {
    std::string call;                      // "CreateProcessA" or "ShellExecuteA"
    std::string program;                   // the program (or file) as the caller named it
    std::vector<std::string> words;        // what the child receives: its argv, program first
    std::optional<std::string> operation;  // ShellExecuteA's operation, none when it gave none
    std::optional<std::string> directory;  // the folder the child is to start in
};

// What becomes of a process start.
enum class ProcessOutcome {
    Start,    // start the program as the stand-in always did
    Done,     // something stood in for it (or it was only recorded): report success
    Refused,  // its stand-in is missing or failed: report failure, start nothing
};

using ProcessHook = std::function<ProcessOutcome(const ProcessStart &)>;

class EMUHOST_API WindowsMachine {
public:
    // Maps drive `letter` (A-Z, either case) to an existing folder.
    // Throws std::invalid_argument for a letter that is none.
    void map_drive(char letter, const std::string &folder);
    bool has_drives() const { return !drives_.empty(); }
    // The folder of a mapped drive; none when it is not mapped.
    std::optional<std::string> drive_folder(char letter) const;
    // The mapped letters, upper case, in order.
    std::vector<char> drives() const;

    // The path on this file system that a Windows path names. Without a
    // mapped drive, `path` as given. With one: "X:\" and "X:/" start at the
    // folder of drive X, "\" and "/" both separate, and each folder and file
    // name matches its name on disk exactly or else without regard to case
    // (the first in name order); a name that is not there yet (a file being
    // created) keeps its spelling. "." and ".." go by name, as on Windows,
    // and ".." never climbs above a drive's folder. A path that starts
    // with one slash stays on this file system's root. Answers none for a
    // drive that is not mapped and for a network path (\\server\share),
    // and tells the complaint sink (once per letter, once for the network).
    std::optional<std::string> local_path(const std::string &path) const;

    // Whether `path` starts with a drive letter and a colon.
    static bool has_drive_letter(const std::string &path);

    // Called before every process start; none: every program starts.
    void set_process_hook(ProcessHook hook) { hook_ = std::move(hook); }
    ProcessOutcome decide(const ProcessStart &start) const;

    // Where a missing drive is reported (momsim's standard error).
    void on_complaint(std::function<void(const std::string &)> sink) { complain_ = std::move(sink); }

    void reset();

private:
    std::map<char, std::string> drives_;
    ProcessHook hook_;
    std::function<void(const std::string &)> complain_;
    mutable std::vector<char> reported_;
    mutable bool network_reported_ = false;
};

// The machine of this process's session, for the Windows call stand-ins.
EMUHOST_API WindowsMachine &windows_machine();

}  // namespace emuhost
