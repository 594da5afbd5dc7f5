// Drive letters and case-blind names of the emulated Windows machine, and
// the decision about each process start (emuhost/machine.h).
#include "emuhost/machine.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "emuhost/paths.h"
#include "emuhost/session.h"

namespace emuhost {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool WindowsMachine::has_drive_letter(const std::string &path) {
    return path.size() >= 2 && path[1] == ':' && upper(path[0]) >= 'A' && upper(path[0]) <= 'Z';
}

void WindowsMachine::map_drive(char letter, const std::string &folder) {
    char drive = upper(letter);
    if (drive < 'A' || drive > 'Z') throw std::invalid_argument(std::string("no drive letter: ") + letter);
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    drives_[drive] = root;
}

std::optional<std::string> WindowsMachine::drive_folder(char letter) const {
    auto found = drives_.find(upper(letter));
    if (found == drives_.end()) return std::nullopt;
    return found->second;
}

std::vector<char> WindowsMachine::drives() const {
    std::vector<char> letters;
    for (const auto &drive : drives_) letters.push_back(drive.first);
    return letters;
}

std::optional<std::string> WindowsMachine::local_path(const std::string &path) const {
    if (drives_.empty()) return path;
    std::string rest = path;
    std::string at;  // the folder resolved so far; empty: the current one
    if (has_drive_letter(path)) {
        char drive = upper(path[0]);
        auto root = drive_folder(drive);
        if (!root) {
            if (complain_ && std::find(reported_.begin(), reported_.end(), drive) == reported_.end()) {
                reported_.push_back(drive);
                complain_(path + ": drive " + std::string(1, drive) + ": is not mapped (map it with --drive " +
                          std::string(1, drive) + ":=DIR)");
            }
            return std::nullopt;
        }
        at = *root;
        rest = path.substr(2);
    } else if (path.size() >= 2 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\')) {
        // A network path (\\server\share): no folder here stands for one.
        if (complain_ && !network_reported_) {
            network_reported_ = true;
            complain_(path + ": network paths are not mapped (only drive letters are, with --drive)");
        }
        return std::nullopt;
    } else if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
        at = "/";
    }
    std::replace(rest.begin(), rest.end(), '\\', '/');

    // ".." is taken off by name first, as Windows does, and never climbs
    // above the root: a path on a drive stays inside the drive's folder.
    bool rooted = !at.empty();
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        std::string name = rest.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name != "..") names.push_back(name);
        else if (!names.empty() && names.back() != "..") names.pop_back();
        else if (!rooted) names.push_back(name);
    }
    // Then name by name, so that a folder is listed only when its exact
    // name is not there.
    bool found_so_far = true;
    for (const std::string &name : names) {
        std::optional<std::string> entry =
            found_so_far && name != ".." ? find_entry(at, name) : std::optional<std::string>(name);
        if (!entry) found_so_far = false;
        at = join(at, entry ? *entry : name);
    }
    if (at.empty()) at = ".";
    // A trailing separator names the folder itself: keep it.
    if (!rest.empty() && rest.back() == '/' && at.back() != '/') at += '/';
    return at;
}

ProcessOutcome WindowsMachine::decide(const ProcessStart &start) const {
    return hook_ ? hook_(start) : ProcessOutcome::Start;
}

void WindowsMachine::reset() {
    drives_.clear();
    hook_ = nullptr;
    complain_ = nullptr;
    reported_.clear();
    network_reported_ = false;
}

WindowsMachine &windows_machine() { return session().windows(); }

}  // namespace emuhost
