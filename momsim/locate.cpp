#include "locate.h"

#include <climits>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

#include "emuhost/machine.h"
#include "emuhost/paths.h"

namespace momsim {
namespace {

using emuhost::ends_with_nocase;
using emuhost::find_in_folder;
using emuhost::is_file;
using emuhost::join;
using emuhost::same_name;

// The path with its links resolved; the path as given when it names
// nothing yet.
std::string resolved(const std::string &path) { return emuhost::real_path(path).value_or(path); }

// The pointer width of an ELF file ("x32", "x64"), empty for any other file.
std::string elf_width(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    char head[5] = {};
    if (!in.read(head, sizeof head) || std::memcmp(head, "\x7f" "ELF", 4) != 0) return {};
    return head[4] == 1 ? "x32" : head[4] == 2 ? "x64" : "";
}

// The plug-in names its pointer width; the other one cannot be loaded here.
void refuse_other_width(const std::string &library, const std::string &name, const std::string &width) {
    static const std::string own = MOMSIM_PLUGIN_NAME;
    std::string other = own == "tarvex_x64" ? "tarvex_x32" : "tarvex_x64";
    std::string own_bits = own == "tarvex_x64" ? "64" : "32";
    std::string other_bits = own == "tarvex_x64" ? "32" : "64";
    bool names_other = same_name(name, other);
    bool is_other = !width.empty() && width != own.substr(own.size() - 3);
    if (names_other || is_other)
        throw std::runtime_error("cannot load " + library + ": " + (names_other ? other : name) + " is the " +
                                 other_bits + "-bit plug-in and this momsim is " + own_bits + "-bit; " + own +
                                 " is the one that loads here");
}

}  // namespace

std::string executable_folder() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    return emuhost::folder_of(std::string(path, static_cast<std::size_t>(length)));
}

std::vector<std::string> plugin_folders() {
    std::string here = executable_folder();
    std::vector<std::string> folders{here};
    std::string installed = resolved(join(here, MOMSIM_LIBDIR_FROM_BINDIR));
    if (installed != here) folders.push_back(installed);
    return folders;
}

std::string resolve_library(const std::string &library) {
    if (is_file(library)) {
        refuse_other_width(library, library, elf_width(library));
        return resolved(library);
    }
    bool host_path = library.find('\\') != std::string::npos ||
                     emuhost::WindowsMachine::has_drive_letter(library) || ends_with_nocase(library, ".dll");
    if (library.find('/') != std::string::npos && !host_path)
        throw std::runtime_error("cannot load " + library + ": no such file");

    // The base name, without a host folder or the library suffix.
    std::string name = emuhost::host_base_name(library);
    if (ends_with_nocase(name, ".dll")) name.resize(name.size() - 4);
    else if (ends_with_nocase(name, ".so")) name.resize(name.size() - 3);
    refuse_other_width(library, name, "");
    if (same_name(name, "tarvex")) name = MOMSIM_PLUGIN_NAME;
    name += ".so";

    std::vector<std::string> folders;
    // Through the drives, the folder the host path names comes first: a
    // plug-in kept beside the post is the one the post means.
    if (host_path && emuhost::windows_machine().has_drives()) {
        if (std::optional<std::string> local = emuhost::windows_machine().local_path(library)) {
            if (is_file(*local) && !ends_with_nocase(*local, ".dll")) {
                refuse_other_width(library, *local, elf_width(*local));
                return resolved(*local);
            }
            folders.push_back(emuhost::folder_of(*local));
        }
    }
    for (const auto &folder : plugin_folders()) folders.push_back(folder);

    std::string looked;
    for (const auto &folder : folders) {
        std::string candidate = find_in_folder(folder, name);
        if (is_file(candidate)) {
            refuse_other_width(library, candidate, elf_width(candidate));
            return candidate;
        }
        looked += (looked.empty() ? "" : ", ") + candidate;
    }
    throw std::runtime_error("cannot load " + library + ": not found (looked for " + looked + ")");
}

std::vector<std::string> data_folders() {
    std::string here = executable_folder();
    std::vector<std::string> folders{resolved(join(here, MOMSIM_DATADIR_FROM_BINDIR))};
    // Run from the build tree, momsim takes the demo files from the sources.
    if (resolved(here) == resolved(MOMSIM_BUILD_FOLDER)) folders.push_back(MOMSIM_SOURCE_EXAMPLES);
    return folders;
}

std::string find_data_file(const std::string &name) {
    for (const auto &folder : data_folders()) {
        std::string candidate = join(folder, name);
        if (is_file(candidate)) return candidate;
    }
    return {};
}

}  // namespace momsim
