// Helpers of the file, INI, process and GRIP suites: a fresh folder per
// test, file contents, environment variables. Builds for Windows as well.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tarvex_test {

// A folder of its own for one test, removed with all it holds at the end.
class Scratch {
public:
    Scratch() {
        std::random_device random;
        for (int attempt = 0;; ++attempt) {
            root_ = std::filesystem::temp_directory_path() /
                    ("tarvex-" + std::to_string(random()) + "-" + std::to_string(attempt));
            if (std::filesystem::create_directory(root_)) break;
        }
    }
    ~Scratch() {
        std::error_code error;
        // Read-only files would keep Windows from removing the folder.
        for (auto &entry : std::filesystem::recursive_directory_iterator(root_, error))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(root_, error);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;

    std::string path(const std::string &name) const { return (root_ / name).string(); }
    std::string root() const { return root_.string(); }

    std::string write(const std::string &name, const std::string &content) const {
        std::ofstream out(root_ / name, std::ios::binary);
        out << content;
        return path(name);
    }

private:
    std::filesystem::path root_;
};

inline bool exists(const std::string &path) { return std::filesystem::exists(path); }

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void make_read_only(const std::string &path) {
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
}

// Sets (or, with an empty value, clears) a variable of this process's
// environment, which the processes it starts inherit.
inline void set_environment(const std::string &name, const std::string &value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value.c_str());
#else
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
#endif
}

// Whether the Windows build runs under Wine. Wine, as the tests run it (by
// root), opens a read-only file for writing, and truncates a file that
// another handle holds without sharing before it reports the sharing
// violation; Windows does neither. Tests of those two skip under Wine.
inline bool running_under_wine() {
#if defined(_WIN32)
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
#else
    return false;
#endif
}

// Waits up to `seconds` for `path` to appear.
inline bool wait_for_file(const std::string &path, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!exists(path)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace tarvex_test
