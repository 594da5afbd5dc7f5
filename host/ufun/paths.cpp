// Taking paths apart and looking names up (emuhost/paths.h).

// Folder listings must see every entry: in a 32-bit build, readdir()
// without large-file offsets fails on a file system with 64-bit inode
// numbers.
#if !defined(_WIN32)
#define _FILE_OFFSET_BITS 64
#endif
#include "emuhost/paths.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <sys/stat.h>

#if !defined(_WIN32)
#include <dirent.h>
#endif

namespace emuhost {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool exists(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string folder_of(const std::string &path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string &path) { return path.substr(path.rfind('/') + 1); }

std::string host_base_name(const std::string &path) { return path.substr(path.find_last_of("/\\") + 1); }

std::string stem(const std::string &name) {
    std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string extension(const std::string &name) {
    std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
}

std::string join(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::optional<std::string> real_path(const std::string &path) {
#if defined(_WIN32)
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) return std::nullopt;
    return resolved.string();
#else
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
#endif
}

bool same_name(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool ends_with_nocase(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && same_name(text.substr(text.size() - tail.size()), tail);
}

std::optional<std::string> find_entry(const std::string &folder, const std::string &name) {
    if (exists(join(folder, name))) return name;
#if defined(_WIN32)
    // Windows itself matches names without regard to case.
    return std::nullopt;
#else
    DIR *listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent *entry = ::readdir(listing)) {
        std::string candidate = entry->d_name;
        if (same_name(candidate, name) && (!found || candidate < *found)) found = candidate;
    }
    ::closedir(listing);
    return found;
#endif
}

std::string find_in_folder(const std::string &folder, const std::string &name) {
    return join(folder, find_entry(folder, name).value_or(name));
}

bool is_file(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}

}  // namespace emuhost
