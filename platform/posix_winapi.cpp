// POSIX stand-ins for the Windows calls the plug-in makes. Each keeps the
// Windows behaviour the commands rely on; winapi.h tells which.
//
// Two places matter to builds that must not touch the machine: every path a
// caller hands in passes through enter_path(), and every process starts in
// start_process(). Nothing else opens, deletes or starts anything.
//
// Both ask the emulated host's Windows machine first (emuhost/machine.h):
// enter_path() reads a path the Windows way when drives are mapped, and each
// process start is put to its process hook, which may record it, stand in for
// it or refuse it. The plug-in above knows nothing of either.
#include "winapi.h"

#include "emuhost/machine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

DWORD fail(DWORD code) {
    last_error = code;
    return code;
}

// ---- Paths ---------------------------------------------------------------

#if defined(TARVEX_CONFINED)
// The confined build (the fuzzer's) touches nothing outside one folder: a
// path elsewhere enters as the empty path, which names no file, and no
// process is ever started, only recorded.
std::string confinement_root;
std::vector<std::string> recorded_starts;

bool inside_confinement(const std::string &path) {
    if (confinement_root.empty() || path.compare(0, confinement_root.size() + 1, confinement_root + "/") != 0)
        return false;
    // No way up and out: no ".." component anywhere; and the folder itself
    // ("root/", "root/.") is no path inside it, so it cannot be removed.
    std::string::size_type last = 0;
    for (std::string::size_type start = 0; start <= path.size();) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        last = start;
        start = end + 1;
    }
    return last < path.size() && path.compare(last, std::string::npos, ".") != 0;
}
#endif

// The Windows path as this file system names it; empty for a drive that is
// not mapped, which names no file.
std::string machine_path(const char *path) {
    std::optional<std::string> local = emuhost::windows_machine().local_path(path);
    return local ? *local : std::string();
}

#if defined(TARVEX_CONFINED)
std::string enter_path(const char *path) {
    std::string local = machine_path(path);
    return inside_confinement(local) ? local : std::string();
}
#else
// Where a path from a caller enters the file system.
std::string enter_path(const char *path) { return machine_path(path); }
#endif

bool is_directory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder part of `path` ("." when it has none).
std::string folder_of(const std::string &path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Windows tells a missing file from a missing folder on its way.
DWORD missing_error(const std::string &path) {
    return is_directory(folder_of(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD error_from_errno(int error, const std::string &path) {
    switch (error) {
    case ENOENT: return missing_error(path);
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG: return ERROR_BAD_ENVIRONMENT;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    default: return ERROR_GEN_FAILURE;
    }
}

// Windows' read-only attribute: no write permission bit at all. It holds
// for every caller, root included.
bool is_read_only(const struct stat &info) { return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// ---- Handles ---------------------------------------------------------------

struct Object {
    enum Kind { File, Process, Thread } kind;
    int fd = -1;
    pid_t pid = 0;
};

std::mutex objects_lock;
std::set<Object *> objects;

HANDLE make_handle(Object::Kind kind, int fd, pid_t pid) {
    Object *object = new Object{kind, fd, pid};
    std::lock_guard<std::mutex> guard(objects_lock);
    objects.insert(object);
    return object;
}

// ---- Command lines ---------------------------------------------------------

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits a command line into words as the Windows C runtime does. The
// program word takes no escapes: quotes only group, backslashes are plain.
// In the other words 2n backslashes before a quote give n and the quote
// groups; 2n+1 give n and a literal quote; a doubled quote inside quotes
// is a literal quote; other backslashes are plain.
std::vector<std::string> split_command_line(const char *line, bool with_program) {
    std::vector<std::string> words;
    const char *p = line;
    if (with_program) {
        std::string program;
        bool quoted = false;
        while (*p != '\0' && (quoted || !is_blank(*p))) {
            if (*p == '"')
                quoted = !quoted;
            else
                program += *p;
            ++p;
        }
        words.push_back(program);
    }
    for (;;) {
        while (is_blank(*p)) ++p;
        if (*p == '\0') break;
        std::string word;
        bool quoted = false;
        for (;;) {
            std::size_t slashes = 0;
            while (*p == '\\') {
                ++p;
                ++slashes;
            }
            bool literal = true;
            if (*p == '"') {
                if (slashes % 2 == 0) {
                    if (quoted && p[1] == '"')
                        ++p;  // a doubled quote inside quotes: one literal quote
                    else {
                        literal = false;
                        quoted = !quoted;
                    }
                }
                slashes /= 2;
            }
            word.append(slashes, '\\');
            if (*p == '\0' || (!quoted && is_blank(*p))) break;
            if (literal) word += *p;
            ++p;
        }
        words.push_back(word);
    }
    return words;
}

// ---- Processes -------------------------------------------------------------

bool is_executable_file(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
}

// The file a program name stands for: a name with a slash as it is (made
// absolute, since the child may start elsewhere), any other looked up in
// PATH. Answers 0 or a Windows error code.
DWORD find_program(const std::string &name, std::string &file) {
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    if (name.find('/') != std::string::npos) {
        struct stat info;
        if (stat(name.c_str(), &info) != 0) return error_from_errno(errno, name);
        if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
        if (!S_ISREG(info.st_mode) || (info.st_mode & 0111) == 0) return ERROR_BAD_EXE_FORMAT;
        file = name;
        if (name[0] != '/') {
            std::vector<char> here(4096);
            if (getcwd(here.data(), here.size()) == nullptr) return error_from_errno(errno, name);
            file = std::string(here.data()) + "/" + name;
        }
        return 0;
    }
    const char *search = std::getenv("PATH");
    std::string folders = search ? search : "/bin:/usr/bin";
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type end = folders.find(':', start);
        std::string folder = folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (folder.empty()) folder = ".";
        std::string candidate = folder + "/" + name;
        if (is_executable_file(candidate)) return find_program(candidate, file);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ERROR_FILE_NOT_FOUND;
}

struct SpawnReply {
    int error;
    pid_t pid;
};

bool read_all(int fd, void *data, std::size_t size) {
    char *at = static_cast<char *>(data);
    while (size > 0) {
        ssize_t got = read(fd, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Where every process starts. `program` is the file found by
// find_program; `argv` the words the child sees. The child is started by a
// short-lived middle process that exits at once, so it belongs to init,
// never becomes our zombie and is never waited for. Answers 0 and the
// child's id, or a Windows error code.
DWORD start_process(const std::string &program, const std::vector<std::string> &argv,
                    const char *directory, char *const *environment, bool inherit_handles,
                    pid_t *child) {
#if defined(TARVEX_CONFINED)
    (void)directory;
    (void)environment;
    (void)inherit_handles;
    std::string line = program;
    for (const std::string &word : argv) line += " " + word;
    recorded_starts.push_back(line);
    *child = 0;
    return 0;
#endif
    std::vector<char *> words;
    for (const std::string &word : argv) words.push_back(const_cast<char *>(word.c_str()));
    words.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return ERROR_NOT_ENOUGH_MEMORY;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Windows hands a child no handles unless asked to.
    if (!inherit_handles) posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#else
    (void)inherit_handles;
#endif

    int reply_pipe[2];
    if (pipe2(reply_pipe, O_CLOEXEC) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return error_from_errno(errno, program);
    }
    pid_t middle = fork();
    if (middle == 0) {
        SpawnReply reply{0, 0};
        if (directory != nullptr && chdir(directory) != 0)
            reply.error = errno;
        else
            reply.error = posix_spawnp(&reply.pid, program.c_str(), &actions, nullptr, words.data(),
                                       environment);
        ssize_t ignored = write(reply_pipe[1], &reply, sizeof reply);
        (void)ignored;
        _exit(0);
    }
    int fork_error = errno;
    close(reply_pipe[1]);
    posix_spawn_file_actions_destroy(&actions);
    if (middle < 0) {
        close(reply_pipe[0]);
        return error_from_errno(fork_error, program);
    }
    SpawnReply reply{EIO, 0};
    bool replied = read_all(reply_pipe[0], &reply, sizeof reply);
    close(reply_pipe[0]);
    while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!replied) return ERROR_GEN_FAILURE;
    if (reply.error != 0) {
        if (reply.error == ENOENT && directory != nullptr && !is_directory(directory))
            return ERROR_PATH_NOT_FOUND;
        return error_from_errno(reply.error, program);
    }
    *child = reply.pid;
    return 0;
}

// ---- INI files ---------------------------------------------------------------

struct ProfileKey {
    std::string name;
    std::optional<std::string> value;  // none for a line without '='
};

struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
};

// Blanks as the INI reader sees them; ^Z, the old end-of-file mark, too.
bool is_profile_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string trim(const char *begin, const char *end) {
    while (begin < end && is_profile_space(*begin)) ++begin;
    while (end > begin && is_profile_space(end[-1])) --end;
    return std::string(begin, end);
}

std::string trim(const std::string &text) { return trim(text.data(), text.data() + text.size()); }

bool same_name(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Folds A-Z to a-z and nothing else, as same_name() compares.
std::string folded(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// An INI file as parsed, with indexes that answer the first section of a
// name and the first key of a name within a section without a scan.
struct Profile {
    std::vector<ProfileSection> sections;
    std::unordered_map<std::string, std::size_t> section_at;             // folded name -> first
    std::vector<std::unordered_map<std::string, std::size_t>> key_at;    // per section: folded name -> first

    void index() {
        key_at.assign(sections.size(), {});
        for (std::size_t s = 0; s < sections.size(); ++s) {
            section_at.emplace(folded(sections[s].name), s);
            for (std::size_t k = 0; k < sections[s].keys.size(); ++k)
                key_at[s].emplace(folded(sections[s].keys[k].name), k);
        }
    }
};

// Parses INI text into its sections, in file order. Keys before the first
// heading belong to a section without a name.
void parse_profile(const std::string &text, Profile &profile) {
    std::vector<ProfileSection> &sections = profile.sections;
    const char *p = text.data(), *end = text.data() + text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3;

    sections.assign(1, ProfileSection{});
    while (p < end) {
        const char *line = p;
        while (p < end && *p != '\n' && *p != '\r') ++p;
        const char *line_end = p;
        if (p < end) ++p;
        while (line < line_end && is_profile_space(*line)) ++line;
        while (line_end > line && is_profile_space(line_end[-1])) --line_end;
        if (line == line_end) continue;

        if (*line == '[') {
            const char *close = line_end;
            while (close > line && close[-1] != ']') --close;
            if (close > line + 1) {  // the last ']' on the line ends the name
                sections.push_back(ProfileSection{trim(line + 1, close - 1), {}});
                continue;
            }
        }
        ProfileKey key;
        const char *equals = static_cast<const char *>(std::memchr(line, '=', static_cast<std::size_t>(line_end - line)));
        if (equals != nullptr) {
            key.name = trim(line, equals);
            key.value = trim(equals + 1, line_end);
        } else {
            key.name = std::string(line, line_end);
        }
        // A run of lines with empty names keeps only the first.
        std::vector<ProfileKey> &keys = sections.back().keys;
        if (!key.name.empty() || keys.empty() || !keys.back().name.empty()) keys.push_back(std::move(key));
    }
    profile.index();
}

// What tells one state of a file from another without reading it. A write
// moves the change time (ctime) even when the writer puts the modification
// time back, and a file put in place by rename has another inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};

    explicit FileIdentity(const struct stat &info)
        : device(info.st_dev), inode(info.st_ino), size(info.st_size), modified(info.st_mtim),
          changed(info.st_ctim) {}
    bool operator==(const FileIdentity &other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// Parsed INI files, so that a post asking one file for value after value
// reads and parses it once. An entry answers only while the file's identity
// is what it was when the file was read. File times come from a coarse
// clock: two writes a few milliseconds apart can leave the same times and
// size. So an entry is trusted only when the file had been left alone for
// kSettled seconds before it was read: any later write then stamps a time
// the entry cannot hold. A file changed more recently is read again on every
// lookup until it has settled.
class ProfileCache {
public:
    // The parsed file at `path`; null when it cannot be read as a file.
    std::shared_ptr<const Profile> get(const std::string &path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = entries_.find(path);
            if (found != entries_.end()) {
                Entry &entry = found->second;
                if (entry.identity == FileIdentity(info)) {
                    use_.splice(use_.begin(), use_, entry.use);
                    return entry.profile;
                }
                forget(found);
            }
        }
        return read(path);
    }

    static constexpr time_t kSettled = 2;
    static constexpr std::size_t kMaxFiles = 32;
    static constexpr off_t kMaxBytes = 8 << 20;  // larger files are parsed per lookup

private:
    struct Entry {
        FileIdentity identity;
        std::shared_ptr<const Profile> profile;
        std::list<std::string>::iterator use;
    };
    using Entries = std::unordered_map<std::string, Entry>;

    void forget(Entries::iterator entry) {
        use_.erase(entry->second.use);
        entries_.erase(entry);
    }

    std::shared_ptr<const Profile> read(const std::string &path) {
        // Non-blocking, so that a FIFO put in the file's place meanwhile
        // cannot hold the caller; fstat then turns it away.
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return nullptr;
        struct stat before, after;
        std::string text;
        bool whole = fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
        while (whole) {
            char block[65536];
            ssize_t got = ::read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) whole = false;
            if (got <= 0) break;
            text.append(block, static_cast<std::size_t>(got));
        }
        whole = whole && fstat(fd, &after) == 0;
        close(fd);
        if (!whole) return nullptr;

        auto profile = std::make_shared<Profile>();
        parse_profile(text, *profile);
        // Keep the entry only when the file stood still while it was read
        // and had settled before.
        FileIdentity identity(before);
        if (identity == FileIdentity(after) && settled(before) && before.st_size <= kMaxBytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = entries_.find(path);
            if (found != entries_.end()) forget(found);
            while (entries_.size() >= kMaxFiles) forget(entries_.find(use_.back()));
            use_.push_front(path);
            entries_.emplace(path, Entry{identity, profile, use_.begin()});
        }
        return profile;
    }

    static bool settled(const struct stat &info) {
        struct timespec now;
        if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
        auto older = [&](const struct timespec &when) {
            return when.tv_sec < now.tv_sec - kSettled ||
                   (when.tv_sec == now.tv_sec - kSettled && when.tv_nsec <= now.tv_nsec);
        };
        return older(info.st_mtim) && older(info.st_ctim);
    }

    std::mutex mutex_;
    Entries entries_;
    std::list<std::string> use_;  // paths, most recently used first
};

ProfileCache &profile_cache() {
    // Destroyed when the plug-in is unloaded, so an unloaded plug-in leaves
    // no parsed files behind in the host's process.
    static ProfileCache cache;
    return cache;
}

// The first section of that name; only it is searched.
const ProfileSection *find_section(const Profile &profile, const std::string &name) {
    auto found = profile.section_at.find(folded(name));
    return found == profile.section_at.end() ? nullptr : &profile.sections[found->second];
}

// Copies a value into the caller's buffer: one pair of surrounding quotes
// taken off, cut to size - 1 characters, terminated. Answers the length.
DWORD copy_value(const std::string &value, LPSTR out, DWORD size) {
    const char *text = value.data();
    std::size_t whole = value.size();
    if (whole >= 2 && (text[0] == '"' || text[0] == '\'') && value.back() == text[0]) {
        ++text;
        whole -= 2;
    }
    std::size_t length = whole < size - 1 ? whole : size - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return static_cast<DWORD>(length);
}

// Copies a list of names, each terminated, and a final terminator. A name
// goes in whole only while room for more stays after it; the first that
// does not is cut so that the list ends with two terminators at the end of
// the buffer, and the answer is then size - 2.
DWORD copy_names(const std::vector<std::string> &names, LPSTR out, DWORD size) {
    if (size == 1) {
        out[0] = '\0';
        return 0;
    }
    std::size_t used = 0;  // stays at most size - 2
    for (const std::string &name : names) {
        if (used + name.size() + 1 >= size - 1) {
            std::memcpy(out + used, name.data(), size - 2 - used);
            out[size - 2] = '\0';
            out[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(out + used, name.c_str(), name.size() + 1);
        used += name.size() + 1;
    }
    out[used] = '\0';
    return static_cast<DWORD>(used);
}

// The file a profile call reads. Windows reads a relative path that does
// not start at the current folder (".\" or "..\") from the Windows folder,
// C:\Windows: a bare name and one with folders alike. Any other path is
// read as every call reads it.
std::string profile_file(const char *path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    bool rooted = separator(path[0]) || emuhost::WindowsMachine::has_drive_letter(path);
    bool from_here = path[0] == '.' && (separator(path[1]) || (path[1] == '.' && separator(path[2])));
    if (rooted || from_here) return enter_path(path);
    return enter_path((std::string("C:\\Windows\\") + path).c_str());
}

}  // namespace

extern "C" {

DWORD GetLastError(void) { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

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
        HANDLE handle = make_handle(Object::File, fd, 0);
        last_error = (existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS))
                         ? ERROR_ALREADY_EXISTS
                         : ERROR_SUCCESS;
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

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR value, DWORD size,
                               LPCSTR path) {
    if (value == nullptr || size == 0) return 0;
    try {
        std::string fallback = default_value ? default_value : "";
        while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();

        const std::string file = path != nullptr ? profile_file(path) : std::string();
        std::shared_ptr<const Profile> profile = path != nullptr ? profile_cache().get(file) : nullptr;
        if (!profile) fail(path == nullptr ? ERROR_INVALID_PARAMETER : missing_error(file));
        static const std::vector<ProfileSection> none;
        const std::vector<ProfileSection> &sections = profile ? profile->sections : none;

        if (section == nullptr) {
            std::vector<std::string> names;
            for (const ProfileSection &found : sections)
                if (!found.name.empty()) names.push_back(found.name);
            return copy_names(names, value, size);
        }
        if (key == nullptr) {
            // The keys with a value, comments aside, of the first section
            // of the name as given (untrimmed). An empty list answers the
            // default.
            std::vector<std::string> names;
            for (const ProfileSection &candidate : sections) {
                if (!same_name(candidate.name, section)) continue;
                for (const ProfileKey &entry : candidate.keys)
                    if (entry.value && (entry.name.empty() || entry.name[0] != ';')) names.push_back(entry.name);
                break;
            }
            DWORD length = copy_names(names, value, size);
            return length > 0 ? length : copy_value(fallback, value, size);
        }
        const ProfileSection *found = profile ? find_section(*profile, trim(section)) : nullptr;
        if (found != nullptr) {
            const auto &keys = profile->key_at[static_cast<std::size_t>(found - profile->sections.data())];
            auto first = keys.find(folded(trim(key)));
            // Only the first key of the name counts; without a value it
            // answers the default.
            if (first != keys.end() && found->keys[first->second].value)
                return copy_value(*found->keys[first->second].value, value, size);
        }
        return copy_value(fallback, value, size);
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        value[0] = '\0';
        return 0;
    }
}

BOOL CreateProcessA(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inherit_handles, DWORD flags, LPVOID environment, LPCSTR directory,
                    LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process) {
    try {
        if (startup == nullptr || process == nullptr || (application == nullptr && command_line == nullptr) ||
            (flags & (DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS | CREATE_SUSPENDED)) != 0) {
            fail(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::vector<std::string> argv;
        if (command_line != nullptr) argv = split_command_line(command_line, true);
        std::string name = application != nullptr ? std::string(application) : argv[0];
        if (argv.empty() || (command_line != nullptr && command_line[0] == '\0')) argv.assign(1, name);

        emuhost::ProcessStart request{"CreateProcessA", name, argv, std::nullopt, std::nullopt};
        if (directory != nullptr) request.directory = directory;
        switch (emuhost::windows_machine().decide(request)) {
        case emuhost::ProcessOutcome::Start: break;
        case emuhost::ProcessOutcome::Done:
            // Stood in for or only recorded: a process that has already ended.
            process->hProcess = make_handle(Object::Process, -1, 0);
            process->hThread = make_handle(Object::Thread, -1, 0);
            process->dwProcessId = 0;
            process->dwThreadId = 0;
            return TRUE;
        case emuhost::ProcessOutcome::Refused: fail(ERROR_FILE_NOT_FOUND); return FALSE;
        }
        std::string program;
        if (DWORD error = find_program(enter_path(name.c_str()), program)) {
            fail(error);
            return FALSE;
        }
        std::string folder = directory != nullptr ? enter_path(directory) : std::string();
        if (directory != nullptr) directory = folder.c_str();
        std::vector<char *> variables;
        char *const *envp = environ;
        if (environment != nullptr) {
            for (char *entry = static_cast<char *>(environment); *entry != '\0'; entry += std::strlen(entry) + 1)
                variables.push_back(entry);
            variables.push_back(nullptr);
            envp = variables.data();
        }
        pid_t child = 0;
        if (DWORD error = start_process(program, argv, directory, envp, inherit_handles != FALSE, &child)) {
            fail(error);
            return FALSE;
        }
        process->hProcess = make_handle(Object::Process, -1, child);
        process->hThread = make_handle(Object::Thread, -1, child);
        process->dwProcessId = static_cast<DWORD>(child);
        process->dwThreadId = static_cast<DWORD>(child);
        return TRUE;
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT) {
    auto answer = [](int code) { return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code)); };
    try {
        if (file == nullptr || file[0] == '\0') {
            fail(ERROR_FILE_NOT_FOUND);
            return answer(SE_ERR_FNF);
        }
        {
            emuhost::ProcessStart request{"ShellExecuteA", file, {file}, std::nullopt, std::nullopt};
            if (parameters != nullptr) {
                std::vector<std::string> words = split_command_line(parameters, false);
                request.words.insert(request.words.end(), words.begin(), words.end());
            }
            if (operation != nullptr) request.operation = operation;
            if (directory != nullptr) request.directory = directory;
            switch (emuhost::windows_machine().decide(request)) {
            case emuhost::ProcessOutcome::Start: break;
            case emuhost::ProcessOutcome::Done: return answer(42);
            case emuhost::ProcessOutcome::Refused: fail(ERROR_FILE_NOT_FOUND); return answer(SE_ERR_FNF);
            }
        }
        std::string folder = directory != nullptr ? enter_path(directory) : std::string();
        if (directory != nullptr) directory = folder.c_str();
        if (operation != nullptr && !same_name(operation, "open")) {
            fail(ERROR_GEN_FAILURE);
            return answer(SE_ERR_NOASSOC);
        }
        const std::string target = enter_path(file);
        pid_t child = 0;
        auto start = [&](const std::string &program, const std::vector<std::string> &argv) {
            if (DWORD error = start_process(program, argv, directory, environ, false, &child)) {
                fail(error);
                return answer(error == ERROR_NOT_ENOUGH_MEMORY ? SE_ERR_OOM : SE_ERR_ACCESSDENIED);
            }
            return answer(42);
        };
        // A URL ("scheme:..."; a drive letter is no scheme) has no file behind it.
        std::string::size_type colon = target.find(':');
        bool is_url = colon != std::string::npos && colon >= 2 && target.find('/') > colon;
        struct stat info;
        bool exists = !is_url && stat(target.c_str(), &info) == 0;

        std::string program;
        bool runs = exists ? (S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0)
                           : (!is_url && target.find('/') == std::string::npos);
        if (runs) {
            DWORD error = find_program(target.find('/') == std::string::npos && exists ? "./" + target : target,
                                       program);
            if (error == 0) {
                std::vector<std::string> argv{target};
                if (parameters != nullptr) {
                    std::vector<std::string> words = split_command_line(parameters, false);
                    argv.insert(argv.end(), words.begin(), words.end());
                }
                return start(program, argv);
            }
            if (!exists) {
                fail(error);
                return answer(SE_ERR_FNF);
            }
        }
        if (!exists && !is_url) {
            DWORD error = missing_error(target);
            fail(error);
            return answer(error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF);
        }
        std::string opener;
        if (find_program("xdg-open", opener) != 0) {
            fail(ERROR_GEN_FAILURE);
            return answer(SE_ERR_NOASSOC);
        }
        return start(opener, {"xdg-open", target});
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return answer(SE_ERR_OOM);
    }
}

#if !defined(TARVEX_CONFINED)
// The C library's remove(), which the plug-in calls itself, reads its path
// as the Windows calls do: the plug-in is linked with --wrap=remove. (The
// confined build's fuzzer wraps remove() itself.)
int __real_remove(const char *path);
int __wrap_remove(const char *path) {
    if (path == nullptr) return __real_remove(path);
    try {
        std::optional<std::string> local = emuhost::windows_machine().local_path(path);
        if (!local) {
            errno = ENOENT;
            return -1;
        }
        return __real_remove(local->c_str());
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
        return -1;
    }
}
#endif

#if defined(TARVEX_CONFINED)
void tarvex_confine_to(const char *root) { confinement_root = root != nullptr ? root : ""; }

int tarvex_path_confined(const char *path) { return path != nullptr && inside_confinement(path); }

unsigned long tarvex_recorded_starts(void) { return static_cast<unsigned long>(recorded_starts.size()); }

void tarvex_clear_recorded_starts(void) { recorded_starts.clear(); }
#endif

}  // extern "C"
