#include "locate.h"

#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace momsim {
namespace {

bool is_file(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string real_path(const std::string &path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

std::string join(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
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
    if (is_file(library)) return real_path(library);
    bool host_path = library.find('\\') != std::string::npos ||
                     (library.size() > 1 && library[1] == ':') || ends_with_nocase(library, ".dll");
    if (library.find('/') != std::string::npos && !host_path)
        throw std::runtime_error("cannot load " + library + ": no such file");

    // The base name, without a host folder or the library suffix.
    std::string name = library.substr(library.find_last_of("/\\") + 1);
    if (ends_with_nocase(name, ".dll")) name.resize(name.size() - 4);
    else if (ends_with_nocase(name, ".so")) name.resize(name.size() - 3);
    if (name == "tarvex") name = MOMSIM_PLUGIN_NAME;
    name += ".so";

    std::string looked;
    for (const auto &folder : plugin_folders()) {
        std::string candidate = join(folder, name);
        if (is_file(candidate)) return candidate;
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
