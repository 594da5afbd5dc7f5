// The stand-ins' processes: CreateProcessA and ShellExecuteA. A command
// line is split into words as the Windows C runtime splits it; each start
// is put to the emulated host's process hook first, which may record it,
// stand in for it or refuse it; a program that does start is never left
// behind as a zombie. The confined build records every start and starts
// nothing.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "emuhost/machine.h"
#include "emuhost/paths.h"
#include "stand_ins.h"

extern char **environ;

namespace emuhost::stand_ins {
namespace {

#if defined(TARVEX_CONFINED)
std::vector<std::string> recorded_starts;
#endif

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

}  // namespace
}  // namespace emuhost::stand_ins

using namespace emuhost::stand_ins;

extern "C" {

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
            process->hProcess = make_handle(HandleKind::Process, -1, 0);
            process->hThread = make_handle(HandleKind::Thread, -1, 0);
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
        process->hProcess = make_handle(HandleKind::Process, -1, child);
        process->hThread = make_handle(HandleKind::Thread, -1, child);
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
        if (operation != nullptr && !emuhost::same_name(operation, "open")) {
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

#if defined(TARVEX_CONFINED)
unsigned long tarvex_recorded_starts(void) { return static_cast<unsigned long>(recorded_starts.size()); }

void tarvex_clear_recorded_starts(void) { recorded_starts.clear(); }
#endif

}  // extern "C"
