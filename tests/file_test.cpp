// MOM_createfile, MOM_deletefile and MOM_remove_file_ex.
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "emuhost/machine.h"
#include "winapi.h"
#endif

#include "file_scratch.h"
#include "harness.h"

namespace {

using tarvex_test::exists;
using tarvex_test::HostTest;
using tarvex_test::read_file;
using tarvex_test::Scratch;
using Lines = std::vector<std::string>;

class Files : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        host().clear_logs();
    }
    std::string result_of(const std::vector<std::string> &words) {
        auto result = call(words);
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.error_line, 0);
        return result.result;
    }
    // A path of exactly `length` characters in the scratch folder.
    std::string path_of_length(std::size_t length) {
        std::string folder = scratch_.path("");
        return folder + std::string(length - folder.size(), 'n');
    }
    Scratch scratch_;
};

// Holds a file open the way another program can: reading, sharing nothing.
class Holder {
public:
    explicit Holder(const std::string &path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)) {}
    ~Holder() {
        if (held()) CloseHandle(handle_);
    }
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

TEST_P(Files, CreateMakesAnEmptyFile) {
    std::string path = scratch_.path("out.ptp");
    EXPECT_EQ(result_of({"MOM_createfile", path}), "0");
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(read_file(path), "");
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, CreateEmptiesAnExistingFile) {
    std::string path = scratch_.write("out.ptp", "N10 G0 X0\nN20 M30\n");
    EXPECT_EQ(result_of({"MOM_createfile", path, "ignored"}), "0");
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(read_file(path), "");
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, CreateFailsWhereNoFileCanBe) {
    std::filesystem::create_directory(scratch_.path("folder"));
    for (const std::string &path : {scratch_.path("no such folder/out.ptp"), scratch_.path("folder")}) {
        SCOPED_TRACE(path);
        host().clear_logs();
        EXPECT_EQ(result_of({"MOM_createfile", path}), "1");
        EXPECT_EQ(host().syslog(), Lines{" Can't Find/Create or read/write file =" + path + "\n"});
    }
    EXPECT_FALSE(exists(scratch_.path("no such folder")));
    EXPECT_TRUE(std::filesystem::is_directory(scratch_.path("folder")));
}

TEST_P(Files, CreateLeavesAReadOnlyFileAlone) {
    if (tarvex_test::running_under_wine()) GTEST_SKIP() << "Wine lets root write read-only files";
    std::string path = scratch_.write("locked.ptp", "keep me");
    tarvex_test::make_read_only(path);
    EXPECT_EQ(result_of({"MOM_createfile", path}), "1");
    EXPECT_EQ(host().syslog(), Lines{" Can't Find/Create or read/write file =" + path + "\n"});
    EXPECT_EQ(read_file(path), "keep me");
}

TEST_P(Files, CreateDoesNotEmptyAFileHeldWithoutSharing) {
    if (tarvex_test::running_under_wine()) GTEST_SKIP() << "Wine truncates before the share check";
    std::string path = scratch_.write("busy.ptp", "in use");
    Holder holder(path);
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(result_of({"MOM_createfile", path}), "1");
    EXPECT_EQ(host().syslog(), Lines{" Can't Find/Create or read/write file =" + path + "\n"});
    EXPECT_EQ(read_file(path), "in use");
}

TEST_P(Files, DeleteRemovesAFile) {
    std::string path = scratch_.write("old.ptp", "data");
    EXPECT_EQ(result_of({"MOM_deletefile", path}), "0");
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, DeleteOfAMissingFileIsLoggedAndCountsAsDone) {
    for (const std::string &path : {scratch_.path("absent.ptp"), scratch_.path("absent folder/old.ptp")}) {
        host().clear_logs();
        EXPECT_EQ(result_of({"MOM_deletefile", path}), "0");
        EXPECT_EQ(host().syslog(), Lines{" Can't find or read file =" + path + "\n"});
    }
}

TEST_P(Files, DeleteOfAReadOnlyFileFailsSilently) {
    std::string path = scratch_.write("kept.ptp", "data");
    tarvex_test::make_read_only(path);
    EXPECT_EQ(result_of({"MOM_deletefile", path}), "1");
    EXPECT_TRUE(exists(path));
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, DeleteNeverReportsAFileThatIsStillThereAsDeleted) {
    // The probe fails on these, but the file is there: the probe's line is
    // logged and the answer is failure.
    std::string busy = scratch_.write("busy.ptp", "in use");
    Holder holder(busy);
    ASSERT_TRUE(holder.held());
    std::string folder = scratch_.path("folder");
    std::filesystem::create_directory(folder);
    for (const std::string &path : {busy, folder}) {
        SCOPED_TRACE(path);
        host().clear_logs();
        EXPECT_EQ(result_of({"MOM_deletefile", path}), "1");
        EXPECT_TRUE(exists(path));
        EXPECT_EQ(host().syslog(), Lines{" Can't find or read file =" + path + "\n"});
    }
}

TEST_P(Files, RemoveDeletesAndTreatsAMissingFileAsRemoved) {
    std::string path = scratch_.write("old.ptp", "data");
    EXPECT_EQ(result_of({"MOM_remove_file_ex", path}), "0");
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(result_of({"MOM_remove_file_ex", path}), "0");
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, RemoveThatFailsLogsTheCode) {
    std::string folder = scratch_.path("full folder");
    std::filesystem::create_directory(folder);
    scratch_.write("full folder/inside.ptp", "data");
    EXPECT_EQ(result_of({"MOM_remove_file_ex", folder}), "-1");
    EXPECT_TRUE(exists(folder));
    EXPECT_EQ(host().syslog(), Lines{"Don't Removed " + folder + " , code error=-1\n"});
}

TEST_P(Files, RemoveLogLineKeepsItsEndForALongPath) {
    // With a 240-character path the whole line would take 271 characters.
    std::string folder = path_of_length(240);
    std::filesystem::create_directory(folder);
    scratch_.write(std::filesystem::path(folder).filename().string() + "/inside", "data");
    EXPECT_EQ(result_of({"MOM_remove_file_ex", folder}), "-1");
    ASSERT_EQ(host().syslog().size(), 1u);
    const std::string &line = host().syslog()[0];
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.rfind("Don't Removed " + folder.substr(0, 20), 0), 0u);
    EXPECT_EQ(line.substr(line.size() - 17), " , code error=-1\n");
}

TEST_P(Files, ShortOrMissingPathsAreRefusedByAllThree) {
    // A one-letter file exists in the current folder, so a command that did
    // not refuse the name would empty or delete it.
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.root());
    scratch_.write("a", "keep");
    for (const char *command : {"MOM_createfile", "MOM_deletefile", "MOM_remove_file_ex"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(result_of({command}), "1");
        EXPECT_EQ(result_of({command, ""}), "1");
        EXPECT_EQ(result_of({command, "a"}), "1");
        EXPECT_EQ(read_file("a"), "keep");
    }
    // Two characters are a path.
    EXPECT_EQ(result_of({"MOM_createfile", "ab"}), "0");
    EXPECT_TRUE(exists("ab"));
    EXPECT_EQ(result_of({"MOM_deletefile", "ab"}), "0");
    EXPECT_FALSE(exists("ab"));
    std::filesystem::current_path(here);
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(Files, PathsLongerThan255CharactersAreRefusedNotCut) {
    std::string longest = path_of_length(255);
    EXPECT_EQ(result_of({"MOM_createfile", longest}), "0");
    EXPECT_TRUE(exists(longest));
    EXPECT_EQ(result_of({"MOM_deletefile", longest}), "0");
    EXPECT_FALSE(exists(longest));
    EXPECT_TRUE(host().syslog().empty());

    // One more character: the first 255 name the file made here, which a
    // cut path would empty or delete.
    std::string too_long = longest + "x";
    scratch_.write(std::filesystem::path(longest).filename().string(), "keep");
    for (const char *command : {"MOM_createfile", "MOM_deletefile"}) {
        host().clear_logs();
        EXPECT_EQ(result_of({command, too_long}), "1");
        EXPECT_EQ(host().syslog(),
                  Lines{" " + std::string(command) + " - path longer than 255 characters, nothing done\n"});
        EXPECT_EQ(read_file(longest), "keep");
    }
    EXPECT_FALSE(exists(too_long));
}

TEST_P(Files, ProbeLogLineKeepsItsEndForTheLongestPath) {
    std::string path = path_of_length(255);
    EXPECT_EQ(result_of({"MOM_deletefile", path}), "0");
    ASSERT_EQ(host().syslog().size(), 1u);
    const std::string &line = host().syslog()[0];
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.rfind(" Can't find or read file =" + path.substr(0, 100), 0), 0u);
    EXPECT_EQ(line.back(), '\n');
}

#if !defined(_WIN32)
TEST_P(Files, FifoNeitherBlocksNorCountsAsAFile) {
    // Opening a FIFO for reading would wait for a writer that never comes.
    std::string fifo = scratch_.path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(result_of({"MOM_deletefile", fifo}), "1");
    EXPECT_EQ(result_of({"MOM_createfile", fifo}), "1");
    EXPECT_EQ(result_of({"MOM_get_ini_string", fifo, "Post", "k"}), "");
    EXPECT_TRUE(exists(fifo));
    EXPECT_EQ(host().syslog(), (Lines{" Can't find or read file =" + fifo + "\n",
                                      " Can't Find/Create or read/write file =" + fifo + "\n",
                                      " Can't find or read file =" + fifo + "\n"}));
}

// With a drive mapped, every path the plug-in hands to its Windows calls is
// read as Windows reads it; the cases that could go wrong in one place.
TEST_P(Files, MappedDriveReadsPathsTheWindowsWay) {
    std::string root = scratch_.path("");
    root.pop_back();
    std::filesystem::create_directories(scratch_.path("Out/Sub"));
    std::filesystem::create_directories(scratch_.path("twin"));
    std::filesystem::create_directories(scratch_.path("Twin"));
    host().windows().map_drive('c', root);

    // Either slash, any case; a new name keeps its spelling in the folder found.
    EXPECT_EQ(result_of({"MOM_createfile", "C:\\OUT\\sub\\New.PTP"}), "0");
    EXPECT_TRUE(exists(scratch_.path("Out/Sub/New.PTP")));
    EXPECT_EQ(result_of({"MOM_deletefile", "c:/out/SUB/new.ptp"}), "0");
    EXPECT_FALSE(exists(scratch_.path("Out/Sub/New.PTP")));
    // ".." steps back out of the folder; an exact name wins over its twin.
    EXPECT_EQ(result_of({"MOM_createfile", "C:/out/sub/../../Twin/a.txt"}), "0");
    EXPECT_TRUE(exists(scratch_.path("Twin/a.txt")));
    EXPECT_EQ(result_of({"MOM_createfile", "C:/TWIN/b.txt"}), "0");
    EXPECT_TRUE(exists(scratch_.path("Twin/b.txt")));  // "Twin" sorts before "twin"
    // ".." goes by name and never above the drive's folder.
    EXPECT_EQ(result_of({"MOM_createfile", "C:\\none\\..\\..\\..\\Out\\up.txt"}), "0");
    EXPECT_TRUE(exists(scratch_.path("Out/up.txt")));
    // A folder that is not there: nothing is made, as on Windows.
    EXPECT_EQ(result_of({"MOM_createfile", "C:\\none\\x.txt"}), "1");
    EXPECT_FALSE(exists(scratch_.path("none")));
    // A drive that is not mapped names no file.
    EXPECT_EQ(result_of({"MOM_createfile", "D:\\x.txt"}), "1");
    EXPECT_EQ(host().windows().local_path("D:\\x.txt"), std::nullopt);
    // Nor does a network path; a path from this file system's root stays there.
    EXPECT_EQ(host().windows().local_path("\\\\server\\share\\x.txt"), std::nullopt);
    EXPECT_EQ(host().windows().local_path(root + "/OUT/sub"), root + "/Out/Sub");
    EXPECT_EQ(host().windows().local_path("C:"), root);
}

// The process hook sees what the child would receive and decides.
TEST_P(Files, ProcessHookSeesTheChildsWordsAndDecides) {
    std::vector<emuhost::ProcessStart> seen;
    emuhost::ProcessOutcome answer = emuhost::ProcessOutcome::Done;
    host().windows().set_process_hook([&](const emuhost::ProcessStart &start) {
        seen.push_back(start);
        return answer;
    });
    call({"MOM_run_exec", "C:\\tools\\report.exe", "two words", "quote \" and \\ slash"});
    call({"MOM_shell_exec", "C:\\docs\\sheet.pdf", "-p \"a b\""});
    answer = emuhost::ProcessOutcome::Refused;
    call({"MOM_run_exec", "C:\\tools\\missing.exe"});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].call, "CreateProcessA");
    EXPECT_EQ(seen[0].words, (Lines{"C:\\tools\\report.exe", "two words", "quote \" and \\ slash"}));
    EXPECT_EQ(seen[1].call, "ShellExecuteA");
    EXPECT_EQ(seen[1].words, (Lines{"C:\\docs\\sheet.pdf", "-p", "a b"}));
    EXPECT_FALSE(seen[1].operation.has_value());
    // Done: the post sees a start that worked; Refused: one that did not.
    EXPECT_EQ(host().syslog(), (Lines{" CreateProcess don't Start the child process \n"}));
}
#endif

TARVEX_ALL_TRANSLATORS(Files);

}  // namespace
