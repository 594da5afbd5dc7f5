// Folder listings must see every entry: in a 32-bit build, readdir()
// without large-file offsets fails on a file system with 64-bit inode
// numbers.
#define _FILE_OFFSET_BITS 64

#include "locate.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "drives.h"
#include "emuhost/machine.h"

namespace momsim {
namespace {

std::string real_path(const std::string &path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

std::string join(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

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
    bool names_other = lower(name) == other;
    bool is_other = !width.empty() && width != own.substr(own.size() - 3);
    if (names_other || is_other)
        throw std::runtime_error("cannot load " + library + ": " + (names_other ? other : name) + " is the " +
                                 other_bits + "-bit plug-in and this momsim is " + own_bits + "-bit; " + own +
                                 " is the one that loads here");
}

bool ends_with_nocase(const std::string &text, const std::string &tail) {
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

}  // namespace

bool is_file(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string find_in_folder(const std::string &folder, const std::string &name) {
    std::string exact = join(folder, name);
    struct stat info {};
    if (::stat(exact.c_str(), &info) == 0) return exact;
    DIR *listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) return exact;
    std::string found;
    std::string wanted = lower(name);
    while (const dirent *entry = ::readdir(listing)) {
        std::string candidate = entry->d_name;
        if (lower(candidate) == wanted && (found.empty() || candidate < found)) found = candidate;
    }
    ::closedir(listing);
    return found.empty() ? exact : join(folder, found);
}

std::string executable_folder() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(length));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : exe.substr(0, slash);
}

std::vector<std::string> plugin_folders() {
    std::string here = executable_folder();
    std::vector<std::string> folders{here};
    std::string installed = real_path(join(here, MOMSIM_LIBDIR_FROM_BINDIR));
    if (installed != here) folders.push_back(installed);
    return folders;
}

std::string resolve_library(const std::string &library) {
    if (is_file(library)) {
        refuse_other_width(library, library, elf_width(library));
        return real_path(library);
    }
    bool host_path = library.find('\\') != std::string::npos ||
                     emuhost::WindowsMachine::has_drive_letter(library) || ends_with_nocase(library, ".dll");
    if (library.find('/') != std::string::npos && !host_path)
        throw std::runtime_error("cannot load " + library + ": no such file");

    // The base name, without a host folder or the library suffix.
    std::string name = library.substr(library.find_last_of("/\\") + 1);
    if (ends_with_nocase(name, ".dll")) name.resize(name.size() - 4);
    else if (ends_with_nocase(name, ".so")) name.resize(name.size() - 3);
    refuse_other_width(library, name, "");
    if (lower(name) == "tarvex") name = MOMSIM_PLUGIN_NAME;
    name += ".so";

    std::vector<std::string> folders;
    // Through the drives, the folder the host path names comes first: a
    // plug-in kept beside the post is the one the post means.
    if (host_path && emuhost::windows_machine().has_drives()) {
        std::string local = machine_path(library);
        if (!local.empty()) {
            if (is_file(local) && !ends_with_nocase(local, ".dll")) {
                refuse_other_width(library, local, elf_width(local));
                return real_path(local);
            }
            auto slash = local.rfind('/');
            folders.push_back(slash == std::string::npos ? "." : slash == 0 ? "/" : local.substr(0, slash));
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
    std::vector<std::string> folders{real_path(join(here, MOMSIM_DATADIR_FROM_BINDIR))};
    // Run from the build tree, momsim takes the demo files from the sources.
    if (real_path(here) == real_path(MOMSIM_BUILD_FOLDER)) folders.push_back(MOMSIM_SOURCE_EXAMPLES);
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
