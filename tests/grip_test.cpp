// MOM_call_grip and the emulated host's GRIP calls.
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "file_scratch.h"
#include "harness.h"

namespace {

using emuhost::GripCall;
using emuhost::GripRun;
using tarvex_test::CommandTest;
using tarvex_test::HostTest;
using tarvex_test::Scratch;
using Lines = std::vector<std::string>;
using Words = std::vector<std::string>;

const char kCallText[] = "UF_call_grip (grip_exe_path, cnt+1, grip_arg_list)";

// The list layout the host and the plug-in share, in both pointer widths.
static_assert(offsetof(GripArg, type) == 0 && offsetof(GripArg, zero) == 4 && offsetof(GripArg, address) == 8,
              "type code, zero, address");
static_assert(sizeof(GripArg) == (sizeof(void *) == 8 ? 16 : 12), "no padding beyond the address");

class Grip : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        program_ = scratch_.write("tool_change.grx", "GRIP");
    }
    // Registers a stand-in for the program that keeps what it saw.
    void install(std::function<int(GripRun &)> body) {
        host().grip().add_program(program_, [this, body](GripRun &run) {
            seen_ = run.texts;
            return body(run);
        });
    }
    emuhost::CallResult grip(const Words &arguments) {
        Words words{"MOM_call_grip", program_};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return call(words);
    }
    const GripCall &last_run() {
        static const GripCall none;
        return host().grip().calls().empty() ? none : host().grip().calls().back();
    }
    Scratch scratch_;
    std::string program_;
    Words seen_;
};

TEST_P(Grip, ProgramAloneGetsOnlyTheResponseEntry) {
    install([](GripRun &) { return 0; });
    auto result = grip({});
    EXPECT_EQ(result.result, "0.000000");
    EXPECT_EQ(result.code, 0);
    const GripCall &run = last_run();
    EXPECT_EQ(run.path, program_);
    EXPECT_EQ(run.count, 1);
    ASSERT_EQ(run.entries.size(), 1u);
    EXPECT_EQ(run.entries[0].type, GRIP_ARG_RESPONSE);
    EXPECT_EQ(run.entries[0].zero, 0);
    EXPECT_EQ(run.entries[0].number, 0.0);
    EXPECT_EQ(host().syslog(), Lines{" UF_call_grip=0 user_response=0.000000\n"});
}

TEST_P(Grip, TextsComeInOrderBeforeTheResponse) {
    install([](GripRun &) { return 0; });
    grip({"T12", "with blank", ""});
    const GripCall &run = last_run();
    EXPECT_EQ(run.count, 4);
    ASSERT_EQ(run.entries.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run.entries[i].type, GRIP_ARG_TEXT);
        EXPECT_EQ(run.entries[i].zero, 0);
    }
    EXPECT_EQ(run.entries[3].type, GRIP_ARG_RESPONSE);
    EXPECT_EQ(seen_, (Words{"T12", "with blank", ""}));
}

TEST_P(Grip, AtMost29TextsArePassed) {
    install([](GripRun &) { return 0; });
    Words arguments;
    for (int i = 1; i <= 35; ++i) arguments.push_back("arg" + std::to_string(i));
    grip(arguments);
    EXPECT_EQ(last_run().count, 30);
    EXPECT_EQ(seen_, Words(arguments.begin(), arguments.begin() + 29));
    EXPECT_EQ(last_run().entries.back().type, GRIP_ARG_RESPONSE);
}

TEST_P(Grip, ResponseComesBackAsResultAndLogLine) {
    install([](GripRun &run) {
        run.response() = 2.5;
        return 0;
    });
    EXPECT_EQ(grip({"x"}).result, "2.500000");
    EXPECT_EQ(host().syslog(), Lines{" UF_call_grip=0 user_response=2.500000\n"});

    install([](GripRun &run) {
        run.response() = -0.0000004;
        return 0;
    });
    EXPECT_EQ(grip({}).result, "-0.000000");
}

TEST_P(Grip, FailedRunIsReportedAndStillAnswersTheResponse) {
    install([](GripRun &run) {
        run.response() = 1.25;
        return 7;
    });
    emuhost::CallResult result;
    auto output = tarvex_test::capture([&] { result = grip({"x"}); });
    EXPECT_EQ(output.out, tarvex_test::report_lines(kCallText, 7, ""));
    EXPECT_EQ(result.result, "1.250000");
    EXPECT_EQ(host().syslog(), Lines{" UF_call_grip=7 user_response=1.250000\n"});
}

TEST_P(Grip, FileWithoutAProgramFailsWithTheHostsText) {
    emuhost::CallResult result;
    auto output = tarvex_test::capture([&] { result = grip({}); });
    EXPECT_EQ(output.out, tarvex_test::report_lines(kCallText, emuhost::kErrNotFound,
                                                    *host().fail_text(emuhost::kErrNotFound)));
    EXPECT_EQ(result.result, "0.000000");
    EXPECT_EQ(host().syslog(), Lines{" UF_call_grip=1101 user_response=0.000000\n"});
}

TEST_P(Grip, MissingProgramFileIsLoggedAndNotRun) {
    std::string absent = scratch_.path("absent.grx");
    host().grip().add_program(absent, [](GripRun &) { return 0; });
    EXPECT_EQ(call({"MOM_call_grip", absent, "x"}).result, "");
    EXPECT_EQ(host().syslog(), Lines{" UF_CFI_ask_file_exist-File " + absent + " not exist\n"});
    EXPECT_EQ(host().count_calls("UF_call_grip"), 0u);
}

TEST_P(Grip, ExistenceQueryThatLeavesTheStatusCountsAsMissing) {
    install([](GripRun &) { return 0; });
    host().fail_call("UF_CFI_ask_file_exist", 5);
    EXPECT_EQ(grip({}).result, "");
    EXPECT_EQ(host().syslog(), Lines{" UF_CFI_ask_file_exist-File " + program_ + " not exist\n"});
    EXPECT_EQ(host().count_calls("UF_call_grip"), 0u);
}

TEST_P(Grip, ShortOrOverlongProgramPathsAskTheHostNothing) {
    for (const Words &words : {Words{"MOM_call_grip"}, Words{"MOM_call_grip", ""}, Words{"MOM_call_grip", "g"}}) {
        EXPECT_EQ(call(words).result, "");
    }
    EXPECT_TRUE(host().calls().empty());

    std::string too_long = scratch_.path(std::string(300, 'g'));
    EXPECT_EQ(call({"MOM_call_grip", too_long}).result, "");
    EXPECT_EQ(host().syslog(),
              Lines{" MOM_call_grip - program path longer than 255 characters, nothing done\n"});
    EXPECT_EQ(host().count_calls("UF_CFI_ask_file_exist"), 0u);
    EXPECT_EQ(host().count_calls("UF_call_grip"), 0u);
}

TEST_P(Grip, HugeResponseIsNotCut) {
    install([](GripRun &run) {
        run.response() = -1.5e300;
        return 0;
    });
    std::string text = grip({}).result;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), -1.5e300) << text;
    ASSERT_EQ(host().syslog().size(), 1u);
    EXPECT_EQ(host().syslog()[0], " UF_call_grip=0 user_response=" + text + "\n");
}

TEST_P(Grip, ResultOutlivesTheCall) {
    install([](GripRun &run) {
        run.response() = 42;
        return 0;
    });
    grip({});
    EXPECT_STREQ(host().translator().record()->result, "42.000000");
}

TARVEX_ALL_TRANSLATORS(Grip);

// The host side, called directly.
class GripHostCalls : public ::testing::Test {
protected:
    void SetUp() override { emuhost::session().reset(); }
    emuhost::Session &host() { return emuhost::session(); }
    Scratch scratch_;
};

TEST_F(GripHostCalls, FileExistenceLooksAtTheFileSystem) {
    int status = -1;
    EXPECT_EQ(UF_CFI_ask_file_exist(scratch_.write("there.grx", "").c_str(), &status), 0);
    EXPECT_EQ(status, 0);
    status = -1;
    EXPECT_EQ(UF_CFI_ask_file_exist(scratch_.path("absent.grx").c_str(), &status), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(UF_CFI_ask_file_exist(nullptr, &status), emuhost::kErrInvalidArgument);
}

TEST_F(GripHostCalls, NumbersAreWrittenBackAndUnknownEntriesRefused) {
    std::vector<std::string> texts;
    host().grip().add_program("prog", [&](GripRun &run) {
        texts = run.texts;
        EXPECT_EQ(run.numbers, (std::vector<double>{1.0, 2.0}));
        run.numbers[0] = 10;
        run.response() = 20;
        return 3;
    });
    double first = 1, second = 2;
    char text[] = "T1";
    GripArg list[] = {{GRIP_ARG_RESPONSE, 0, &first}, {GRIP_ARG_TEXT, 0, text}, {GRIP_ARG_RESPONSE, 0, &second}};
    EXPECT_EQ(UF_call_grip("prog", 3, list), 3);
    EXPECT_EQ(first, 10);
    EXPECT_EQ(second, 20);
    EXPECT_EQ(texts, std::vector<std::string>{"T1"});

    GripArg odd[] = {{4, 0, text}};
    EXPECT_EQ(UF_call_grip("prog", 1, odd), emuhost::kErrInvalidArgument);
    GripArg empty[] = {{GRIP_ARG_TEXT, 0, nullptr}};
    EXPECT_EQ(UF_call_grip("prog", 1, empty), emuhost::kErrInvalidArgument);
    EXPECT_EQ(UF_call_grip("prog", -1, list), emuhost::kErrInvalidArgument);
    ASSERT_EQ(host().grip().calls().size(), 3u);
    EXPECT_EQ(host().grip().calls()[1].code, emuhost::kErrInvalidArgument);
    EXPECT_EQ(host().grip().calls()[1].entries[0].type, 4);
}

TEST_F(GripHostCalls, ResolverCoversUnregisteredPathsAndResetForgetsAll) {
    host().grip().set_resolver([](const std::string &path) -> emuhost::GripProgram {
        if (path != "by_resolver") return {};
        return [](GripRun &run) {
            run.response() = 5;
            return 0;
        };
    });
    double response = 0;
    GripArg list[] = {{GRIP_ARG_RESPONSE, 0, &response}};
    EXPECT_EQ(UF_call_grip("by_resolver", 1, list), 0);
    EXPECT_EQ(response, 5);
    EXPECT_EQ(UF_call_grip("other", 1, list), emuhost::kErrNotFound);
    host().reset();
    EXPECT_EQ(UF_call_grip("by_resolver", 1, list), emuhost::kErrNotFound);
    EXPECT_EQ(host().grip().calls().size(), 1u);
}

TEST_F(GripHostCalls, ResponseWithoutAResponseEntryIsAnError) {
    GripRun run;
    EXPECT_THROW(run.response(), std::logic_error);
}

}  // namespace
