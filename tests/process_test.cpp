// MOM_run_exec and MOM_shell_exec, end to end: the started program is
// process_child, which writes the words it received to a file.
#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "winapi.h"
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "file_scratch.h"
#include "harness.h"

namespace {

using tarvex_test::exists;
using tarvex_test::HostTest;
using tarvex_test::Scratch;
using tarvex_test::set_environment;
using Words = std::vector<std::string>;
using Lines = std::vector<std::string>;

const std::string kChild = TARVEX_PROCESS_CHILD;

// Whether this machine can run the child at all. A 32-bit build run under
// an emulator on a kernel without 32-bit support cannot start any 32-bit
// program; the tests that need the child then skip rather than fail.
bool child_runs_here() {
#if defined(_WIN32)
    return true;
#else
    static const bool runs = [] {
        Scratch scratch;
        std::string variable = "TARVEX_CHILD_OUT=" + scratch.path("probe");
        char *argv[] = {const_cast<char *>(kChild.c_str()), nullptr};
        char *envp[] = {const_cast<char *>(variable.c_str()), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, kChild.c_str(), nullptr, nullptr, argv, envp) != 0) return false;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 && exists(scratch.path("probe"));
    }();
    return runs;
#endif
}

#define REQUIRE_CHILD()                                                                  \
    if (!child_runs_here()) GTEST_SKIP() << "this machine cannot run " << kChild

class Processes : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        host().clear_logs();
        out_ = scratch_.path("argv");
        set_environment("TARVEX_CHILD_OUT", out_);
        set_environment("TARVEX_CHILD_SLEEP_MS", "");
    }
    void TearDown() override {
        set_environment("TARVEX_CHILD_ABOUT", "");
        set_environment("TARVEX_CHILD_HANDLE", "");
        set_environment("TARVEX_CHILD_OUT", "");
        set_environment("TARVEX_CHILD_SLEEP_MS", "");
        HostTest::TearDown();
    }
    // The words the child wrote, argv[0] first; empty when it never ran.
    Words child_words(double seconds = 30) {
        if (!tarvex_test::wait_for_file(out_, seconds)) return {};
        // The child always writes argv[0]; an empty read means the file was
        // still held by its rename (Wine's share checks), so read again.
        std::string data = tarvex_test::read_file(out_);
        for (int tries = 0; data.empty() && tries < 100; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            data = tarvex_test::read_file(out_);
        }
        std::filesystem::remove(out_);
        Words words;
        for (std::size_t start = 0; start < data.size();) {
            std::size_t end = data.find('\0', start);
            words.push_back(data.substr(start, end - start));
            start = end + 1;
        }
        return words;
    }
    Words run_exec(const Words &arguments) {
        Words words{"MOM_run_exec"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        auto result = call(words);
        EXPECT_EQ(result.result, "");  // the command sets no result
        EXPECT_EQ(result.code, 0);
        return words;
    }
    Scratch scratch_;
    std::string out_;
};

// Command lines as the child's C runtime splits them (PROG stands for the
// child's path). Off Windows this checks the stand-in's splitting.
TEST_P(Processes, CommandLinesSplitByTheWindowsRules) {
    REQUIRE_CHILD();
    struct Split {
        std::string line;
        Words words;
    };
    const std::vector<Split> splits = {
        {"\"PROG\"", {}},
        {"\"PROG\" a b", {"a", "b"}},
        {"PROG a", {"a"}},
        {"\"PROG\"   a \t b  ", {"a", "b"}},
        {"\"PROG\" \"a b\"", {"a b"}},
        {"\"PROG\" a\"b c\"d", {"ab cd"}},
        {"\"PROG\" \"\"", {""}},
        {"\"PROG\" a\\\\b", {"a\\\\b"}},
        {"\"PROG\" a\\", {"a\\"}},
        {"\"PROG\" \"a\\\"b\"", {"a\"b"}},
        {"\"PROG\" a\\\\\\\"b", {"a\\\"b"}},
        {"\"PROG\" \"a\\\\\\\\\" b", {"a\\\\", "b"}},
        {"\"PROG\" \\\\\"a b\"", {"\\a b"}},
        {"\"PROG\" \"a\"\"b\"", {"a\"b"}},
        {"\"PROG\" \"a b\"\"c d\"", {"a b\"c d"}},
        {"\"PROG\" a\"\"b", {"ab"}},
        {"\"PROG\" \"open a b", {"open a b"}},
    };
    for (const auto &split : splits) {
        std::string line = split.line;
        line.replace(line.find("PROG"), 4, kChild);
        SCOPED_TRACE(line);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::vector<char> text(line.begin(), line.end());
        text.push_back('\0');
        ASSERT_TRUE(CreateProcessA(NULL, text.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        Words expected{kChild};
        expected.insert(expected.end(), split.words.begin(), split.words.end());
        EXPECT_EQ(child_words(), expected);
    }
}

TEST_P(Processes, RunExecHandsTheChildExactlyTheScriptsWords) {
    REQUIRE_CHILD();
    const std::vector<Words> cases = {
        {},
        {"one"},
        {"A", "B"},
        {"two words", "x"},
        {"say \"hi\"", "'single'"},
        {"C:\\posts\\", "trailing\\\\", "mid\\dle", "\\\"quoted\\\""},
        {"", "empty before and after", ""},
        {"tab\there", "new\nline", "-o", "out file.ptp"},
    };
    for (const auto &arguments : cases) {
        Words words{kChild};
        words.insert(words.end(), arguments.begin(), arguments.end());
        SCOPED_TRACE(::testing::PrintToString(words));
        run_exec(words);
        EXPECT_EQ(child_words(), words);
    }
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, RunExecReturnsAtOnceWhileTheChildRunsOn) {
    REQUIRE_CHILD();
    set_environment("TARVEX_CHILD_SLEEP_MS", "3000");
    auto start = std::chrono::steady_clock::now();
    run_exec({kChild, "late"});
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_FALSE(exists(out_));  // still asleep
    EXPECT_EQ(child_words(), (Words{kChild, "late"}));
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, RunExecStartsNothingWhenAWordDoesNotFit) {
    REQUIRE_CHILD();
    const Lines start_failure{" CreateProcess don't Start the child process \n"};
    // The line holds 1023 characters: the quoted program, then a blank and
    // each quoted word. A line that is exactly full still starts.
    const std::size_t room = 1023 - (kChild.size() + 2) - 3;
    run_exec({kChild, std::string(room, 'f')});
    EXPECT_EQ(child_words(), (Words{kChild, std::string(room, 'f')}));

    // One character more, anywhere, and nothing is started at all: never
    // the program with its arguments cut off.
    struct Case {
        const char *what;
        Words arguments;
    };
    const std::vector<Case> cases = {
        {"a word one too long", {std::string(room + 1, 'g')}},
        {"a long word after one that fits", {std::string(500, 'a'), std::string(600, 'b'), "c"}},
        {"a short word after a long one", {std::string(room + 1, 'g'), "h"}},
        {"an escaped quote takes two characters", {std::string(room - 1, 'q') + "\""}},
        {"no room after a full line", {std::string(room - 2, 'q') + "\"", "h"}},
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.what);
        host().clear_logs();
        Words words{kChild};
        words.insert(words.end(), each.arguments.begin(), each.arguments.end());
        run_exec(words);
        EXPECT_EQ(host().syslog(), start_failure);
        EXPECT_EQ(child_words(1), Words{});
    }
}

// The child starts with no handle of the host's, even one the host made
// inheritable, and in the host's current folder.
TEST_P(Processes, RunExecChildInheritsNoHandleAndStartsInTheHostsFolder) {
    REQUIRE_CHILD();
    const std::string about = scratch_.path("about");
    set_environment("TARVEX_CHILD_ABOUT", about);
    std::string held = scratch_.write("held.bin", std::string(4321, 'h'));
#if defined(_WIN32)
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    set_environment("TARVEX_CHILD_HANDLE", std::to_string(reinterpret_cast<uintptr_t>(handle)));
    auto folder = [] {
        char text[MAX_PATH];
        DWORD length = GetCurrentDirectoryA(sizeof text, text);
        return std::string(text, length);
    };
    auto change_folder = [](const std::string &to) { return SetCurrentDirectoryA(to.c_str()) != 0; };
#else
    int handle = open(held.c_str(), O_RDONLY);  // no O_CLOEXEC: inheritable
    ASSERT_GE(handle, 0);
    set_environment("TARVEX_CHILD_HANDLE", std::to_string(handle));
    auto folder = [] {
        char text[4096];
        return std::string(getcwd(text, sizeof text) ? text : "");
    };
    auto change_folder = [](const std::string &to) { return chdir(to.c_str()) == 0; };
#endif
    const std::string before = folder();
    const std::string work = scratch_.path("work");
    std::filesystem::create_directory(work);
    ASSERT_TRUE(change_folder(work));
    const std::string host_folder = folder();

    // The probe itself sees a handle that is inherited.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = "\"" + kChild + "\"";
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    ASSERT_TRUE(CreateProcessA(NULL, text.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(child_words(), Words{kChild});
    EXPECT_EQ(tarvex_test::read_file(about), "folder=" + host_folder + "\nhandle=4321\n");

    run_exec({kChild});
    EXPECT_EQ(child_words(), Words{kChild});
    std::string report = tarvex_test::read_file(about);
    EXPECT_EQ(report.substr(0, report.find('\n')), "folder=" + host_folder);
    EXPECT_EQ(report.find("handle=4321"), std::string::npos) << report;
    EXPECT_TRUE(host().syslog().empty());

    EXPECT_TRUE(change_folder(before));
    set_environment("TARVEX_CHILD_ABOUT", "");
    set_environment("TARVEX_CHILD_HANDLE", "");
#if defined(_WIN32)
    CloseHandle(handle);
#else
    close(handle);
#endif
}

TEST_P(Processes, RunExecLogsAProgramThatCannotStart) {
    for (const std::string &program :
         {scratch_.path("no such program"), scratch_.path("bad\"name"), std::string(1100, 'p')}) {
        host().clear_logs();
        run_exec({program, "x"});
        EXPECT_EQ(host().syslog(), Lines{" CreateProcess don't Start the child process \n"});
    }
    EXPECT_FALSE(exists(out_));
}

TEST_P(Processes, ShortFirstArgumentsDoNothing) {
    for (const char *command : {"MOM_run_exec", "MOM_shell_exec"}) {
        for (const Words &words : {Words{command}, Words{command, ""}, Words{command, "p", "x"}}) {
            auto result = call(words);
            EXPECT_EQ(result.result, "");
            EXPECT_EQ(result.code, 0);
        }
    }
    // Even a program that cannot start would have been logged.
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, ShellExecStartsAProgramWithTheParameterText) {
    REQUIRE_CHILD();
    EXPECT_EQ(call({"MOM_shell_exec", kChild, "-v \"two words\" last"}).result, "");
    Words words = child_words();
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(Words(words.begin() + 1, words.end()), (Words{"-v", "two words", "last"}));

    // An empty second argument passes no parameter text at all.
    call({"MOM_shell_exec", kChild, ""});
    words = child_words();
    EXPECT_EQ(words.size(), 1u);
    call({"MOM_shell_exec", kChild});
    words = child_words();
    EXPECT_EQ(words.size(), 1u);
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, ShellExecOfAMissingFileDoesNothingQuietly) {
    call({"MOM_shell_exec", scratch_.path("absent.pdf"), "x"});
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, ShellExecRefusesAnOverlongParameterText) {
    REQUIRE_CHILD();
    call({"MOM_shell_exec", kChild, std::string(256, 'p')});
    EXPECT_EQ(host().syslog(),
              Lines{" MOM_shell_exec - parameter text longer than 255 characters, nothing done\n"});
    call({"MOM_shell_exec", kChild, std::string(255, 'p')});
    EXPECT_EQ(child_words().at(1), std::string(255, 'p'));
}

#if !defined(_WIN32)
TEST_P(Processes, StartedProgramsAreNeverLeftAsZombies) {
    REQUIRE_CHILD();
    run_exec({kChild, "done"});
    ASSERT_EQ(child_words(), (Words{kChild, "done"}));
    call({"MOM_shell_exec", kChild, "done"});
    ASSERT_EQ(child_words().size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Neither the children nor anything that started them is ours to reap.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// PATH holds only `folder` while `body` runs.
void with_path(const std::string &folder, const std::function<void()> &body) {
    const char *old = getenv("PATH");
    std::string saved = old ? old : "";
    set_environment("PATH", folder);
    body();
    set_environment("PATH", saved);
}

TEST_P(Processes, ShellExecOpensOtherFilesWithXdgOpen) {
    REQUIRE_CHILD();
    std::filesystem::create_directory(scratch_.path("bin"));
    // A stand-in xdg-open that records what it was asked to open.
    std::string opener = scratch_.write("bin/xdg-open", "#!/bin/sh\nexec \"$0.child\" \"$@\"\n");
    std::filesystem::copy_file(kChild, opener + ".child");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    std::string document = scratch_.write("setup sheet.pdf", "%PDF");
    with_path(scratch_.path("bin"), [&] { call({"MOM_shell_exec", document, "ignored"}); });
    Words words = child_words();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1], document);
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Processes, ShellExecWithoutAnOpenerDoesNothingQuietly) {
    std::string document = scratch_.write("setup.pdf", "%PDF");
    with_path(scratch_.path("empty"), [&] { call({"MOM_shell_exec", document}); });
    EXPECT_TRUE(host().syslog().empty());
}
#endif

TARVEX_ALL_TRANSLATORS(Processes);

}  // namespace
