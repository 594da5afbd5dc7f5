// MOM_get_ini_string: one value from an INI file; and the system's INI
// reader called directly for what the command never asks of it.
#if defined(_WIN32)
#include <windows.h>
#else
#include "winapi.h"
#endif

#include <cstring>
#include <filesystem>

#include "file_scratch.h"
#include "harness.h"
#include "ini_cases.h"

namespace {

using tarvex_test::HostTest;
using tarvex_test::Scratch;
using Lines = std::vector<std::string>;

class Ini : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        host().clear_logs();
    }
    Scratch scratch_;
};

TEST_P(Ini, AnswersEveryCaseOfTheDataSet) {
    int number = 0;
    for (const auto &lookup : tarvex_test::ini_cases()) {
        SCOPED_TRACE(lookup.what);
        // A file of its own per case: a system that caches INI files by
        // name and time could otherwise answer from the previous case.
        std::string path = scratch_.write("case" + std::to_string(number++) + ".ini", lookup.content);
        auto result = call({"MOM_get_ini_string", path, lookup.section, lookup.key});
        EXPECT_EQ(result.result, lookup.value);
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.error_line, 0);
    }
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Ini, FourthArgumentIsNoDefault) {
    std::string path = scratch_.write("post.ini", "[Post]\nmachine=HMC500\n");
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Post", "spindle", "fallback"}).result, "");
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Post", "machine", "fallback"}).result, "HMC500");
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Ini, MissingFileIsLoggedAndAnswersEmpty) {
    std::string path = scratch_.path("absent.ini");
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Post", "machine"}).result, "");
    EXPECT_EQ(host().syslog(), Lines{" Can't find or read file =" + path + "\n"});
}

TEST_P(Ini, ShortPathsGoToTheProbe) {
    // Unlike the file commands, the lookup refuses no short path: an empty
    // or one-character name is looked for and reported missing.
    EXPECT_EQ(call({"MOM_get_ini_string", "", "Post", "k"}).result, "");
    EXPECT_EQ(call({"MOM_get_ini_string", "q", "Post", "k"}).result, "");
    EXPECT_EQ(host().syslog(), (Lines{" Can't find or read file =\n", " Can't find or read file =q\n"}));
}

TEST_P(Ini, RelativePathsAreReadFromTheCurrentFolderWhereTheProbeFoundThem) {
    // Windows' profile call looks for a relative path, a bare name or one
    // with folders, in the Windows folder; the command reads the file that
    // the probe opened.
    std::string path = scratch_.write("tarvex_bare_name.ini", "[Post]\nmachine=HMC500\n");
    std::filesystem::create_directory(scratch_.path("sub"));
    scratch_.write("sub/nested.ini", "[Post]\nmachine=DMU50\n");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.root());
    auto lookup = [&](const std::string &file) { return call({"MOM_get_ini_string", file, "Post", "machine"}).result; };
    const std::string bare = lookup("tarvex_bare_name.ini");
    const std::string relative = lookup("sub/nested.ini");
    const std::string absolute = lookup(path);
    const std::string missing = lookup("tarvex_absent.ini");
    char direct[16];
    GetPrivateProfileStringA("Post", "machine", "default", direct, sizeof direct, "tarvex_bare_name.ini");
    std::filesystem::current_path(before);
    EXPECT_EQ(bare, "HMC500");
    EXPECT_EQ(relative, "DMU50");
    EXPECT_EQ(absolute, "HMC500");
    EXPECT_EQ(missing, "");
    EXPECT_STREQ(direct, "default") << "the system's own call read a bare name from the current folder";
    EXPECT_EQ(host().syslog(), Lines{" Can't find or read file =tarvex_absent.ini\n"});
}

TEST_P(Ini, TooFewArgumentsTouchNothing) {
    std::string path = scratch_.write("post.ini", "[Post]\nmachine=HMC500\n");
    for (const auto &words : {std::vector<std::string>{"MOM_get_ini_string"},
                              std::vector<std::string>{"MOM_get_ini_string", path},
                              std::vector<std::string>{"MOM_get_ini_string", path, "Post"}}) {
        auto result = call(words);
        EXPECT_EQ(result.result, "");
        EXPECT_EQ(result.code, 0);
    }
    EXPECT_EQ(host().syslog(), Lines(3, " IniRead-wrong number arguments\n"));
}

TEST_P(Ini, EarlierValueDoesNotLeakIntoAFailedLookup) {
    std::string path = scratch_.write("post.ini", "[Post]\nmachine=HMC500\n");
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Post", "machine"}).result, "HMC500");
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Post", "spindle"}).result, "");
    EXPECT_EQ(call({"MOM_get_ini_string", scratch_.path("absent.ini"), "Post", "machine"}).result, "");
}

TEST_P(Ini, OverlongArgumentsAreRefusedNotCut) {
    // 255 characters fit; one more is refused, with the file left unread.
    std::string section(255, 's');
    std::string path = scratch_.write("long.ini", "[" + section + "]\nk=found\n[" + section.substr(0, 254) +
                                                      "]\nk=wrong\n");
    EXPECT_EQ(call({"MOM_get_ini_string", path, section, "k"}).result, "found");
    EXPECT_TRUE(host().syslog().empty());

    struct Refusal {
        std::vector<std::string> words;
        std::string line;
    };
    std::string too_long(256, 's');
    std::string long_path = scratch_.path(std::string(256, 'p'));
    for (const auto &refusal : {
             Refusal{{"MOM_get_ini_string", path, too_long, "k"},
                     " MOM_get_ini_string - section longer than 255 characters, nothing done\n"},
             Refusal{{"MOM_get_ini_string", path, section, std::string(256, 'k')},
                     " MOM_get_ini_string - key longer than 255 characters, nothing done\n"},
             Refusal{{"MOM_get_ini_string", long_path, section, "k"},
                     " MOM_get_ini_string - file path longer than 255 characters, nothing done\n"},
         }) {
        host().clear_logs();
        EXPECT_EQ(call(refusal.words).result, "");
        EXPECT_EQ(host().syslog(), Lines{refusal.line});
    }
}

TARVEX_ALL_TRANSLATORS(Ini);

// Lists of section or key names: each name terminated, the list too; a list
// cut short ends in a terminated, shortened name and answers size - 2. An
// empty key list answers the default. Only the first `answer` + 1 bytes are
// compared: what follows a cut list is not the same everywhere.
TEST(IniLists, SectionAndKeyNames) {
    Scratch scratch;
    std::string path =
        scratch.write("lists.ini", "k=top\n[A]\nx=1\n;c=2\ny\nz=3\n[B]\n[A]\nw=4\n");
    struct List {
        const char *section;
        const char *key;
        DWORD size;
        DWORD answer;
        std::string text;
    };
    const std::string nul(1, '\0');
    const std::vector<List> lists = {
        {nullptr, "x", 32, 6, "A" + nul + "B" + nul + "A" + nul + nul},
        {nullptr, "x", 7, 5, "A" + nul + "B" + nul + "A" + nul},
        {nullptr, "x", 5, 3, "A" + nul + "B" + nul},
        {nullptr, "x", 3, 1, "A" + nul},
        {nullptr, "x", 2, 0, nul},
        {"a", nullptr, 32, 4, "x" + nul + "z" + nul + nul},
        {"A", nullptr, 5, 3, "x" + nul + "z" + nul},
        {"A", nullptr, 4, 2, "x" + nul + nul},
        {"A", nullptr, 2, 1, "d" + nul},
        {"", nullptr, 32, 2, "k" + nul + nul},
        {"B", nullptr, 32, 3, "def" + nul},
        {"none", nullptr, 32, 3, "def" + nul},
    };
    for (const auto &list : lists) {
        SCOPED_TRACE(std::string(list.section ? list.section : "(sections)") + " size " + std::to_string(list.size));
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        DWORD answer = GetPrivateProfileStringA(list.section, list.key, "def", buffer, list.size, path.c_str());
        EXPECT_EQ(answer, list.answer);
        EXPECT_EQ(std::string(buffer, list.answer + 1), list.text);
        EXPECT_EQ(buffer[list.size], '#');
    }
}

TEST(IniLists, DefaultIsTrimmedUnquotedAndCut) {
    Scratch scratch;
    std::string path = scratch.write("post.ini", "[Post]\nk=v\n");
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("Post", "none", "\"quoted\"  ", buffer, sizeof buffer, path.c_str()), 6u);
    EXPECT_STREQ(buffer, "quoted");
    EXPECT_EQ(GetPrivateProfileStringA("Post", "none", "abcdef", buffer, 4, path.c_str()), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetPrivateProfileStringA("Post", "k", "def", buffer, 16, scratch.path("absent.ini").c_str()), 3u);
    EXPECT_STREQ(buffer, "def");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
