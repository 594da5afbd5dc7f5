// Bad words for every command: none, empty, one character, each buffer
// limit of the commands (one under, at, one over), binary bytes and 64
// arguments of 8 KiB. Whatever a script hands over, a call must leave a
// terminated result, release what the host handed out, touch no file outside
// its folder, and refuse (with a log line naming the command) rather than
// cut a path, name or value it acts on.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cam_support.h"
#include "file_scratch.h"

using tarvex_test::Scratch;

namespace {

const char *const kCommands[] = {
    "MOM_box_message", "MOM_ui_message", "MOM_abort_ex", "MOM_info_message", "MOM_ui_filebox",
    "MOM_uc1600", "MOM_uc1609", "MOM_assign_attribute", "MOM_set_attribute_program", "MOM_ask_part_attr",
    "MOM_call_grip", "MOM_get_ini_string", "MOM_remove_file_ex", "MOM_deletefile", "MOM_createfile",
    "MOM_run_exec", "MOM_shell_exec", "MOM_about_stub",
};

bool takes_path(const std::string &command) {
    return command == "MOM_call_grip" || command == "MOM_get_ini_string" || command == "MOM_remove_file_ex" ||
           command == "MOM_deletefile" || command == "MOM_createfile";
}

// The buffer sizes of the commands' fields: 14 and 15 (label slots), 30 and
// 31, 39 and 40 (array names), 50 and 51 (titles), 79 and 80 (cues), 131 to
// 133 (texts), 255 to 257 (paths), 1023 to 1025 (command line, window text).
const size_t kLengths[] = {0, 1, 14, 15, 16, 30, 31, 32, 39, 40, 41, 50, 51, 52, 79, 80, 81,
                           131, 132, 133, 134, 255, 256, 257, 1023, 1024, 1025, 8192};

std::string binary_bytes() {
    std::string bytes;
    for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
    return bytes;
}

class BadInput : public tarvex_test::CamTest {
protected:
    // Calls `words` and checks what every call must leave behind.
    void check(const std::vector<std::string> &words, const std::string &what) {
        SCOPED_TRACE(words[0] + " with " + what);
        host().dialogs().clear_answers();
        emuhost::CallResult result;
        tarvex_test::capture([&] { result = call(words); });
        const char *text = host().translator().record()->result;
        if (text != nullptr) {
            EXPECT_EQ(std::string(text), result.result);
        }
        EXPECT_EQ(host().outstanding_allocations(), 0u);
        EXPECT_TRUE(host().release_errors().empty());
        ++calls_;
    }
    int calls_ = 0;
};

TEST_P(BadInput, EveryCommandTakesEveryBadWordSafely) {
    Scratch scratch;
    const std::string folder = scratch.root() + "/";
    host().set_variable("operation_name", "OP1");
    host().set_variable("group_name", "P1");
    host().set_variable("output_file_basename", "bracket");
    host().set_variable("output_file_suffix", "ptp");
    host().set_variable("machine_time", "00:10");
    host().set_array_element("l", 0, "Feed");
    host().set_array_element("v", 0, "1");

    for (const char *name : kCommands) {
        const std::string command = name;
#if defined(_WIN32)
        // Windows' shell would act on these words for real (a word with a
        // colon is a URL to it); the POSIX stand-ins only look them up.
        if (command == "MOM_run_exec" || command == "MOM_shell_exec") continue;
#endif
        // A path word stays inside the scratch folder, whatever its length.
        auto word = [&](std::string text) { return takes_path(command) && !text.empty() ? folder + text : text; };
        check({command}, "no arguments");
        for (size_t length : kLengths) {
            std::string filler(length, 'x');
            check({command, word(filler)}, "one word of " + std::to_string(length));
            check({command, word(filler), filler, filler, filler}, "four words of " + std::to_string(length));
            check({command, "1", filler, filler}, "a count and two words of " + std::to_string(length));
        }
        check({command, word(binary_bytes()), binary_bytes(), binary_bytes()}, "binary bytes");
        check({command, word("\xff\xfe\x80"), "\x01", "\x7f"}, "stray bytes");
        std::vector<std::string> many{command};
        for (int i = 0; i < 64; ++i) many.push_back(i == 0 ? word("many") : std::string(8192, 'a' + i % 26));
        check(many, "64 words of 8 KiB");
        std::vector<std::string> short_many{command};
        for (int i = 0; i < 64; ++i) short_many.push_back(i == 0 ? word("m") : std::string(1, 'a' + i % 26));
        check(short_many, "64 words of one character");
    }
    // Nothing was made outside the folder, and nothing in it is a stray
    // cut name: every file there has a whole name the script gave.
    for (const auto &entry : std::filesystem::directory_iterator(scratch.root())) {
        std::string file = entry.path().filename().string();
        EXPECT_LT(file.size(), 256u - folder.size()) << "a file of a path that was too long: " << file;
    }
    EXPECT_GT(calls_, 16 * 80);
}

// A path one character over the buffer is refused with a log line naming
// the command, and no file of a cut name appears.
TEST_P(BadInput, OverLongPathsAreRefusedNotCut) {
    Scratch scratch;
    const std::string folder = scratch.root() + "/";
    const std::string over = folder + std::string(256 - folder.size(), 'p');  // 256 characters
    const std::string cut = over.substr(0, 255);
    for (const char *name : {"MOM_createfile", "MOM_deletefile", "MOM_get_ini_string", "MOM_call_grip"}) {
        SCOPED_TRACE(name);
        host().clear_logs();
        auto result = call({name, over, "S", "K"});
        EXPECT_FALSE(tarvex_test::exists(cut)) << "acted on the cut path";
        ASSERT_EQ(host().syslog().size(), 1u);
        EXPECT_NE(host().syslog()[0].find(name), std::string::npos) << host().syslog()[0];
    }
}

TARVEX_ALL_TRANSLATORS(BadInput);

}  // namespace
