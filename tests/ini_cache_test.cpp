// The INI reader keeps parsed files between lookups; these check that it
// never answers from a file state that is gone.
#if defined(_WIN32)
#include <windows.h>
#else
#include "winapi.h"
#include <sys/stat.h>
#include <fcntl.h>
#endif

#include <chrono>
#include <cstdio>
#include <thread>

#include "file_scratch.h"
#include "harness.h"

namespace {

using tarvex_test::HostTest;
using tarvex_test::Scratch;

std::string lookup(const std::string &path, const char *section, const char *key) {
    char buffer[256];
    GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, path.c_str());
    return buffer;
}

std::string machine_file(const std::string &machine) { return "[Post]\nmachine=" + machine + "\n"; }

class IniCache : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        host().clear_logs();
    }
    std::string command(const std::string &path, const std::string &key) {
        return call({"MOM_get_ini_string", path, "Post", key}).result;
    }
    Scratch scratch_;
};

// Writes of the same size, one right after the other, leave the same size
// and, on a coarse file clock, the same times: each must still be seen.
TEST_P(IniCache, SameSizeRewritesAreSeenAtOnce) {
    std::string path = scratch_.write("post.ini", machine_file("M000"));
    EXPECT_EQ(command(path, "machine"), "M000");
    for (int round = 1; round <= 50; ++round) {
        char machine[8];
        std::snprintf(machine, sizeof machine, "M%03d", round);
        scratch_.write("post.ini", machine_file(machine));
        ASSERT_EQ(command(path, "machine"), machine) << "round " << round;
    }
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(IniCache, DeletedFileIsMissedAndARecreatedOneRead) {
    std::string path = scratch_.write("post.ini", machine_file("HMC500"));
    EXPECT_EQ(command(path, "machine"), "HMC500");
    std::remove(path.c_str());
    EXPECT_EQ(command(path, "machine"), "");
    EXPECT_EQ(host().syslog(), std::vector<std::string>{" Can't find or read file =" + path + "\n"});
    scratch_.write("post.ini", "[Post]\nmachine=DMU50\nspindle=S1\n");
    EXPECT_EQ(command(path, "machine"), "DMU50");
    EXPECT_EQ(command(path, "spindle"), "S1");
}

TARVEX_ALL_TRANSLATORS(IniCache);

#if !defined(_WIN32)
// Files left alone long enough are kept parsed; then only a change of
// identity, size or times tells a new state. Each way of changing a file
// behind the reader's back must still be seen.
TEST(IniCacheSettled, EveryKindOfChangeIsSeen) {
    Scratch scratch;
    const int files = 40;  // more than the reader keeps
    for (int i = 0; i < files; ++i)
        scratch.write("f" + std::to_string(i) + ".ini", machine_file("V" + std::to_string(i % 10)));
    std::string edited = scratch.write("edited.ini", machine_file("OLD1"));
    std::string renamed = scratch.write("renamed.ini", machine_file("OLD2"));
    std::string appended = scratch.write("appended.ini", machine_file("OLD3"));
    // Old enough to be trusted.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));

    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < files; ++i)
            ASSERT_EQ(lookup(scratch.path("f" + std::to_string(i) + ".ini"), "Post", "machine"),
                      "V" + std::to_string(i % 10))
                << "file " << i << ", pass " << pass;

    // The same size, with the modification time put back as it was: only
    // the change time tells.
    EXPECT_EQ(lookup(edited, "Post", "machine"), "OLD1");
    struct stat before;
    ASSERT_EQ(stat(edited.c_str(), &before), 0);
    scratch.write("edited.ini", machine_file("NEW1"));
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, edited.c_str(), times, 0), 0);
    EXPECT_EQ(lookup(edited, "Post", "machine"), "NEW1");

    // Another file of the same size and times put in its place.
    EXPECT_EQ(lookup(renamed, "Post", "machine"), "OLD2");
    ASSERT_EQ(stat(renamed.c_str(), &before), 0);
    std::string fresh = scratch.write("fresh.ini", machine_file("NEW2"));
    struct timespec same[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), same, 0), 0);
    ASSERT_EQ(std::rename(fresh.c_str(), renamed.c_str()), 0);
    EXPECT_EQ(lookup(renamed, "Post", "machine"), "NEW2");

    // A line added.
    EXPECT_EQ(lookup(appended, "Post", "spindle"), "");
    {
        std::ofstream out(appended, std::ios::binary | std::ios::app);
        out << "spindle=S2\n";
    }
    EXPECT_EQ(lookup(appended, "Post", "spindle"), "S2");
    EXPECT_EQ(lookup(appended, "Post", "machine"), "OLD3");
}
#endif

// Lookups answered from a kept file agree with a fresh read: first key of
// a name wins, names compare without case, a key without '=' answers the
// default.
TEST(IniCacheAnswers, RepeatedLookupsAgree) {
    Scratch scratch;
    std::string path = scratch.write(
        "post.ini", "[Post]\nMachine=first\nmachine=second\nbare\n[post]\nmachine=third\n[Other]\nk=v\n");
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        EXPECT_EQ(lookup(path, "POST", "MACHINE"), "first");
        EXPECT_EQ(lookup(path, " post ", " machine "), "first");
        EXPECT_EQ(lookup(path, "Post", "bare"), "");
        EXPECT_EQ(lookup(path, "other", "K"), "v");
        EXPECT_EQ(lookup(path, "Missing", "k"), "");
    }
}

}  // namespace
