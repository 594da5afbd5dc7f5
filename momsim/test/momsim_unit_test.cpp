// momsim's parts that its end-to-end tests cannot reach from the command
// line: option parsing in full, input checks, and the log and transcript
// formats for texts the plug-in cannot be made to write.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "emuhost/session.h"
#include "grip.h"
#include "host_words.h"
#include "inputs.h"
#include "locate.h"
#include "logs.h"
#include "run_files.h"
#include "post.h"
#include "options.h"
#include "run.h"
#include "shown.h"

namespace {

using momsim::Options;
using momsim::UsageError;

// A file in the test's own scratch folder, removed again at the end.
class Scratch {
public:
    explicit Scratch(const std::string &name, const std::string &text = "")
        : path_(::testing::TempDir() + "momsim_unit_" + name) {
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~Scratch() { std::remove(path_.c_str()); }
    const std::string &path() const { return path_; }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
};

// Reads and loads a part file as momsim does with --part.
void load_part_file(const std::string &path) {
    Options options;
    options.part = path;
    momsim::Inputs inputs = momsim::read_inputs(options, "");
    momsim::load_part(inputs);
}

std::string usage_error_of(const std::vector<std::string> &words) {
    try {
        momsim::parse_options(words);
    } catch (const UsageError &error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(Options, ReadsEveryOptionInBothForms) {
    Options options = momsim::parse_options(
        {"--load", "tarvex", "--load=/x/other.so", "--set", "group_name=PROGRAM_1", "--set=a=b=c",
         "--answers", "a.txt", "--part=p.json", "--save", "out.json", "--grip-dir", "grip",
         "--syslog", "s.log", "--transcript=t.jsonl", "post.tcl", "--load", "x"});
    EXPECT_EQ(options.loads, (std::vector<std::string>{"tarvex", "/x/other.so"}));
    ASSERT_EQ(options.sets.size(), 2u);
    EXPECT_EQ(options.sets[0], std::make_pair(std::string("group_name"), std::string("PROGRAM_1")));
    // The value keeps every "=" after the first.
    EXPECT_EQ(options.sets[1], std::make_pair(std::string("a"), std::string("b=c")));
    EXPECT_EQ(*options.answers, "a.txt");
    EXPECT_EQ(*options.part, "p.json");
    EXPECT_EQ(*options.save, "out.json");
    EXPECT_EQ(*options.grip_dir, "grip");
    EXPECT_EQ(*options.syslog, "s.log");
    EXPECT_EQ(*options.transcript, "t.jsonl");
    // Words after the script are the script's, options included.
    EXPECT_EQ(*options.script, "post.tcl");
    EXPECT_EQ(options.script_args, (std::vector<std::string>{"--load", "x"}));
    // ... with a warning for what reads like momsim's own; none after "--".
    EXPECT_EQ(options.late_options, (std::vector<std::string>{"--load"}));
    EXPECT_TRUE(momsim::parse_options({"--", "post.tcl", "--save=x"}).late_options.empty());
    Options more = momsim::parse_options({"--timeout=2.5", "--encoding", "cp1252", "--strict", "--quiet", "p.tcl",
                                          "--save=x", "-v"});
    EXPECT_EQ(more.timeout, 2.5);
    EXPECT_EQ(*more.encoding, "cp1252");
    EXPECT_TRUE(more.strict && more.quiet);
    EXPECT_EQ(more.late_options, (std::vector<std::string>{"--save=x"}));
}

TEST(Options, PostingOptions) {
    Options options = momsim::parse_options({"--post", "--output=a.ptp", "--clock", "2024-03-15T14:30:05", "p.tcl"});
    EXPECT_TRUE(options.post);
    EXPECT_EQ(options.output, "a.ptp");
    EXPECT_EQ(options.clock, "2024-03-15T14:30:05");
    EXPECT_THROW(momsim::parse_options({"--post=yes", "p.tcl"}), UsageError);
    EXPECT_THROW(momsim::parse_options({"--output", "a", "--output", "b", "p.tcl"}), UsageError);
    Options host = momsim::parse_options({"--def=m.def", "--env", "A=1", "--env=B=x=y", "p.tcl"});
    EXPECT_EQ(host.definition, "m.def");
    EXPECT_EQ(host.envs, (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"B", "x=y"}}));
    EXPECT_THROW(momsim::parse_options({"--env", "=1", "p.tcl"}), UsageError);
}

// The NC output replaces a good file only whole: until the run ends the old
// file stands, and a file never committed leaves nothing behind. An NC
// output first named during the run is checked against the run's inputs
// when it is named.
TEST(NcOutput, ReplacesTheOldFileOnlyWhenCommittedAndNeverAnInput) {
    Scratch old("nc_old.ptp", "GOOD\n");
    std::string folder = old.path().substr(0, old.path().rfind('/'));
    // Files beside it whose names start with its own: its temporary files.
    auto others = [&] {
        int count = 0;
        std::string prefix = old.path() + ".";
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.path().string().compare(0, prefix.size(), prefix) == 0) ++count;
        return count;
    };
    {
        momsim::AtomicFile abandoned("NC output", old.path());
        abandoned.write("HALF\n", false);
        EXPECT_EQ(others(), 1);  // the temporary file beside it
    }
    EXPECT_EQ(old.read(), "GOOD\n");
    EXPECT_EQ(others(), 0);

    momsim::AtomicFile nc("NC output", old.path());
    nc.write("G0 X0\n", false);
    nc.write("M30\n", false);
    EXPECT_EQ(old.read(), "GOOD\n");
    EXPECT_EQ(nc.commit(), "");
    EXPECT_EQ(old.read(), "G0 X0\nM30\n");
    EXPECT_EQ(others(), 0);
    EXPECT_EQ(momsim::listing_path_for("/a/b.ptp"), "/a/b.lpt");
    EXPECT_EQ(momsim::listing_path_for("/a.b/nc"), "/a.b/nc.lpt");
    EXPECT_EQ(momsim::listing_path_for("/a/b.lpt"), "/a/b.lpt.lpt");

    EXPECT_THROW(momsim::AtomicFile("NC output", folder + "/no_such_folder/x.ptp"), momsim::UsageError);

    Scratch script("nc_post.tcl", "proc MOM_start_of_program {} {}\n");
    momsim::RunFiles outputs;
    outputs.add_input(momsim::RunFile::Script, script.path());
    EXPECT_THROW(outputs.add_checked(momsim::RunFile::NcOutput, script.path()), momsim::UsageError);
    outputs.add_checked(momsim::RunFile::NcOutput, old.path());
    EXPECT_THROW(outputs.add_checked(momsim::RunFile::Listing, old.path()), momsim::UsageError);
    EXPECT_NO_THROW(outputs.open(momsim::RunFile::NcOutput));
}

TEST(Options, ReadsDrivesAndProcessOptions) {
    // Drives in order, the letter in upper case, the folder as given.
    Options windows = momsim::parse_options({"--drive", "c:=/x/c", "--drive=D:=rel/d=1", "--exec-dir", "s", "p.tcl"});
    ASSERT_EQ(windows.drives.size(), 2u);
    EXPECT_EQ(windows.drives[0], std::make_pair('C', std::string("/x/c")));
    EXPECT_EQ(windows.drives[1], std::make_pair('D', std::string("rel/d=1")));
    EXPECT_EQ(*windows.exec_dir, "s");
    EXPECT_FALSE(windows.no_exec);
    EXPECT_TRUE(momsim::parse_options({"--no-exec", "p.tcl"}).no_exec);
}

TEST(Options, DoubleDashEndsTheOptionsAndAnEmptyValueIsKept) {
    Options options = momsim::parse_options({"--set", "empty=", "--", "--script.tcl", "-v"});
    EXPECT_EQ(options.sets[0].second, "");
    EXPECT_EQ(*options.script, "--script.tcl");
    EXPECT_EQ(options.script_args, (std::vector<std::string>{"-v"}));
    EXPECT_FALSE(momsim::parse_options({}).script.has_value());
    EXPECT_TRUE(momsim::parse_options({"-h"}).help);
}

TEST(Options, RefusesWhatItCannotRead) {
    const struct {
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--load"}, "--load needs a value"},
        {{"--load="}, "--load needs a non-empty value"},
        {{"--set", "novalue"}, "--set novalue: expected NAME=VALUE"},
        {{"--set", "=x"}, "--set =x: the variable name is empty"},
        {{"--syslog", "a", "--syslog", "b"}, "--syslog given twice"},
        {{"--answers="}, "--answers needs a non-empty value"},
        {{"--help=yes"}, "--help takes no value"},
        {{"--drive", "C"}, "--drive C: expected a drive letter and a folder, as in C:=DIR"},
        {{"--drive", "1:=/x"}, "--drive 1:=/x: expected a drive letter and a folder, as in C:=DIR"},
        {{"--drive", "C:="}, "--drive C:=: the folder is empty"},
        {{"--drive", "c:=/a", "--drive=C:=/b"}, "--drive C: given twice"},
        {{"--no-exec=1"}, "--no-exec takes no value"},
        {{"--no-exec", "--exec-dir", "x"}, "--no-exec and --exec-dir exclude each other: --no-exec starts nothing at all"},
        {{"--timeout", "0"}, "--timeout 0: expected a number of seconds greater than 0"},
        {{"--timeout=1s"}, "--timeout 1s: expected a number of seconds greater than 0"},
        {{"--timeout", "nan"}, "--timeout nan: expected a number of seconds greater than 0"},
        {{"--timeout", "2", "--timeout", "3"}, "--timeout given twice"},
        {{"--strict=yes"}, "--strict takes no value"},
        {{"--encoding", "a", "--encoding", "b"}, "--encoding given twice"},
    };
    for (const auto &each : cases) EXPECT_EQ(usage_error_of(each.words), each.message);
}

TEST(Answers, SkipsBlankAndCommentLinesAndKeepsLineNumbers) {
    Scratch file("answers.txt", "# operator answers\nYes\r\n\n   \n  # indented comment\n1 /tmp/out.ptp\n3  two  blanks \nlast");
    auto answers = momsim::read_answers(file.path());
    EXPECT_EQ(answers.path, file.path());
    ASSERT_EQ(answers.answers.size(), 4u);
    EXPECT_EQ(answers.answers[0].line, 2);
    EXPECT_EQ(answers.answers[0].text, "Yes");  // CR of a CRLF line end dropped
    EXPECT_EQ(answers.answers[1].line, 6);
    EXPECT_EQ(answers.answers[1].text, "1 /tmp/out.ptp");
    EXPECT_EQ(answers.answers[2].text, "3  two  blanks ");  // inner and trailing blanks kept
    EXPECT_EQ(answers.answers[3].line, 8);                   // a last line without newline
    EXPECT_EQ(answers.answers[3].text, "last");
}

TEST(Answers, ANulByteOrALoneCarriageReturnNamesFileAndLine) {
    const struct {
        std::string text, message;
    } cases[] = {
        {std::string("OK\nab\0c\n", 8), ":2: the answer holds a NUL byte"},
        {"OK\r\n\r\n5 a\rb\r\n", ":3: the answer holds a carriage return"},
    };
    for (const auto &each : cases) {
        Scratch file("bad_answers.txt", each.text);
        try {
            momsim::read_answers(file.path());
            ADD_FAILURE() << "accepted: " << each.message;
        } catch (const UsageError &error) {
            EXPECT_EQ(std::string(error.what()), file.path() + each.message);
        }
    }
}

TEST(Inputs, UnreadableFilesAreNamed) {
    const std::string missing = ::testing::TempDir() + "momsim_unit_missing.txt";
    try {
        momsim::read_answers(missing);
        FAIL() << "accepted";
    } catch (const UsageError &error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot read answers file " + missing + ": No such file or directory");
    }
    EXPECT_THROW(load_part_file(::testing::TempDir()), UsageError);  // a folder
}

TEST(Part, SyntaxErrorsNameLineAndColumn) {
    const struct {
        std::string text;
        std::string where;
    } cases[] = {
        {"{\n  \"name\": \"P1\",\n  \"oops\"\n}\n", ":4:1: "},  // the "}" where ":" belongs
        {"{\"a\": 1,}", ":1:9: "},
        {"{\n\"a\": [1, 2\n", ":3:1: "},
        {"[1, 2]", ":1: the part file must hold a JSON object"},
    };
    for (const auto &each : cases) {
        Scratch file("part.json", each.text);
        try {
            load_part_file(file.path());
            ADD_FAILURE() << "accepted " << each.text;
        } catch (const UsageError &error) {
            std::string message = error.what();
            EXPECT_EQ(message.rfind(file.path() + each.where, 0), 0u) << message;
        }
    }
    Scratch good("good.json", "{\"machine_name\": \"4711\"}");
    load_part_file(good.path());
    EXPECT_EQ(emuhost::session().part().machine_name(), "4711");
}

TEST(Inputs, OutputsNeedAnExistingFolderAndMayNotBeOne) {
    momsim::RunFiles files;
    EXPECT_NO_THROW(files.add_output(momsim::RunFile::Save, ::testing::TempDir() + "momsim_new.json"));
    EXPECT_NO_THROW(files.add_output(momsim::RunFile::Save, "relative.json"));
    EXPECT_THROW(files.add_output(momsim::RunFile::Save, "/no/such/folder/out.json"), UsageError);
    EXPECT_THROW(files.add_output(momsim::RunFile::Save, ::testing::TempDir()), UsageError);
    EXPECT_NO_THROW(momsim::check_folder("--grip-dir", ::testing::TempDir()));
    Scratch file("grip.txt");
    EXPECT_THROW(momsim::check_folder("--grip-dir", file.path()), UsageError);
}

TEST(Locate, PathsAreTakenAsTheyAreOrRefused) {
    Scratch lib("lib.so");
    EXPECT_EQ(momsim::resolve_library(lib.path()).back(), 'o');
    EXPECT_THROW(momsim::resolve_library("/no/such/dir/tarvex_x64.so"), std::runtime_error);
    try {
        momsim::resolve_library("C:\\posts\\nothing_like_it.dll");
        FAIL() << "found";
    } catch (const std::runtime_error &error) {
        // A host path is looked for by its base name beside momsim.
        EXPECT_NE(std::string(error.what()).find("/nothing_like_it.so"), std::string::npos) << error.what();
    }
}

TEST(Syslog, ToStandardErrorEveryLineIsPrefixedAndEnded) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"- >tarvex start \n", "syslog: - >tarvex start \n"},
        {"Don't get the MOM id from the ufusr param\nDLL terminated...\n",
         "syslog: Don't get the MOM id from the ufusr param\nsyslog: DLL terminated...\n"},
        {"no line end", "syslog: no line end\n"},
        {"a\n\nb", "syslog: a\nsyslog: \nsyslog: b\n"},
        {"", ""},
    };
    momsim::Syslog syslog;
    for (const auto &each : cases) {
        ::testing::internal::CaptureStderr();
        syslog.write(each.text);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), each.shown);
    }
}

TEST(Syslog, ToAFileTextsAreKeptAsWritten) {
    Scratch file("syslog.txt", "old run\n");
    {
        momsim::AtomicFile log("--syslog", file.path());
        momsim::Syslog syslog(log);
        syslog.write("- >tarvex start \n");
        syslog.write("two\nlines");
        EXPECT_EQ(file.read(), "old run\n");  // replaced only when complete
        EXPECT_EQ(log.commit(), "");
    }
    EXPECT_EQ(file.read(), "- >tarvex start \ntwo\nlines");
    EXPECT_THROW(momsim::AtomicFile("--syslog", "/no/such/folder/syslog.txt"), UsageError);
}

TEST(Transcript, OneObjectPerLineWithBadBytesReplaced) {
    Scratch file("transcript.jsonl");
    {
        momsim::AtomicFile out("--transcript", file.path());
        momsim::Transcript transcript(out);
        transcript.write({{"call", "UF_UI_set_status"}, {"text", "quote \" and\nnewline"}});
        transcript.write({{"call", "UF_UI_set_status"}, {"text", std::string("bad \xff byte")}});
        EXPECT_EQ(out.commit(), "");
    }
    EXPECT_EQ(file.read(),
              "{\"call\":\"UF_UI_set_status\",\"text\":\"quote \\\" and\\nnewline\"}\n"
              "{\"call\":\"UF_UI_set_status\",\"text\":\"bad \xef\xbf\xbd byte\"}\n");
}

TEST(Run, TheStatusLineGoesToTheTranscriptAndStandardError) {
    Scratch transcript("run.jsonl");
    Scratch script("run.tcl", "set ran 1\n");
    Options options;
    options.transcript = transcript.path();
    options.script = script.path();
    options.quiet = true;
    options.sets = {{"machine_name", "HERMLE"}};
    {
        momsim::Run run(options, momsim::Inputs{});
        run.start("momsim");
        EXPECT_EQ(emuhost::session().variable("machine_name"), "HERMLE");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(UF_UI_set_status("Open API error 7"), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "status: Open API error 7\n");
        // Scripts run in the host's translator, which is the run's interpreter.
        EXPECT_EQ(emuhost::session().translator().eval("set mom_machine_name").result, "HERMLE");
        EXPECT_THROW(run.load("/no/such/plugin.so", "ufusr"), std::runtime_error);
        EXPECT_EQ(run.run_script(), 0);
        // Written when the run ends, not before.
        EXPECT_EQ(transcript.read(), "");
    }
    EXPECT_EQ(transcript.read(), "{\"call\":\"UF_UI_set_status\",\"text\":\"Open API error 7\"}\n");
}

TEST(Grip, AProgramMapsToItsStandInByBaseName) {
    const struct {
        std::string folder, program, stand_in;
    } cases[] = {
        {"/grip", "C:\\posts\\grip\\tool_check.grx", "/grip/tool_check.tcl"},
        {"/grip/", "/posts/tool_check.grx", "/grip/tool_check.tcl"},
        {"grip", "probe", "grip/probe.tcl"},
        {"grip", "C:\\posts\\v1.2\\probe", "grip/probe.tcl"},        // a dot in a folder is no extension
        {"grip", "/posts/probe.v2.grx", "grip/probe.v2.tcl"},        // only the last extension goes
        {"grip", "/posts/.hidden", "grip/.hidden.tcl"},              // a leading dot is the name
    };
    for (const auto &each : cases)
        EXPECT_EQ(momsim::stand_in_path(each.folder, each.program), each.stand_in) << each.program;
}

TEST(Shown, TranscriptRecordsCarryWhatWasGivenAndHowItWasAnswered) {
    emuhost::DialogRecord dialog;
    dialog.call = "UF_UI_message_dialog";
    emuhost::MessageDialog message;
    message.title = "T";
    message.type = 1;
    message.lines = {"a", "b"};
    message.buttons[0] = {true, std::string("Retry"), 1};
    message.buttons[2] = {true, std::nullopt, 3};  // a label the caller left out
    message.pressed = 3;
    message.response = 3;
    dialog.details = message;
    dialog.source = emuhost::AnswerSource::Defaulted;
    dialog.answer = "Maybe";
    dialog.problem = "no such button";
    EXPECT_EQ(momsim::transcript_record(dialog, "a.txt:4").dump(),
              "{\"call\":\"UF_UI_message_dialog\",\"title\":\"T\",\"type\":1,\"lines\":[\"a\",\"b\"],"
              "\"translate\":0,\"buttons\":[{\"button\":1,\"label\":\"Retry\",\"response\":1},"
              "{\"button\":3,\"label\":null,\"response\":3}],"
              "\"answer\":{\"button\":3,\"label\":null,\"response\":3},\"given\":\"defaulted\","
              "\"answer_line\":\"Maybe\",\"from\":\"a.txt:4\",\"problem\":\"no such button\"}");

    emuhost::DialogRecord box;
    box.call = "uc1601";
    box.details = emuhost::OkMessage{"done\n", 1};
    EXPECT_EQ(momsim::transcript_record(box, "").dump(), "{\"call\":\"uc1601\",\"text\":\"done\\n\",\"flag\":1}");
    EXPECT_FALSE(momsim::takes_answer(box));
}

TEST(Shown, TheTerminalShowsTheDialogAndWhatToType) {
    emuhost::DialogRecord reals;
    reals.call = "uc1609";
    emuhost::RealInput input;
    input.labels = {"Safe Z", "Feed"};
    input.values = {50.0, 0.1};
    reals.details = input;
    EXPECT_EQ(momsim::dialog_text(reals), "---- uc1609: \n  1. Safe Z = 50\n  2. Feed = 0.1\n");
    EXPECT_EQ(momsim::answer_request(reals),
              "answer RESPONSE [VALUE ...], 1 Back, 2 Cancel, 3 OK (empty line: 3 with the values shown): ");
    EXPECT_TRUE(momsim::takes_answer(reals));
}

}  // namespace

// Every keyword, attribute, switch and host command of the engine's table is
// described in docs/definition-file.md: the names, and each command in a
// table row that starts with its usage.
TEST(HostWords, TheDefinitionFilePageNamesEachOne) {
    std::ifstream in(std::string(MOMSIM_SOURCE_EXAMPLES) + "/../docs/definition-file.md");
    std::stringstream read;
    read << in.rdbuf();
    const std::string page = read.str();
    ASSERT_FALSE(page.empty());
    for (const momsim::HostWord &word : momsim::host_words()) {
        std::string wanted = word.name;
        if (word.kind == momsim::WordKind::Command) {
            wanted = "| `";
            for (const char *c = word.usage; *c; ++c) wanted += *c == '|' ? std::string("\\|") : std::string(1, *c);
            wanted += "` |";
        }
        EXPECT_NE(page.find(wanted), std::string::npos) << wanted;
    }
}
