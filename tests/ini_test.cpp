// MOM_get_ini_string: one value from an INI file.
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

}  // namespace
