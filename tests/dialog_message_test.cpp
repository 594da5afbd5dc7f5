// MOM_box_message, MOM_info_message and MOM_about_stub: joining limits,
// position keywords and the About box.
#include <algorithm>

#include "harness.h"

namespace {

using emuhost::InfoWindow;
using emuhost::OkMessage;
using tarvex_test::CommandTest;
using tarvex_test::HostTest;
using tarvex_test::words;

std::string text_of(std::size_t length, char fill = 'x') { return std::string(length, fill); }

class MessageText : public CommandTest {};

TEST_P(MessageText, BoxMessageJoinsBelowTheLimitOf132) {
    const struct {
        std::vector<std::size_t> lengths;
        std::size_t shown;
    } cases[] = {
        {{1, 1}, 2},
        {{130}, 1},
        {{131}, 0},
        {{60, 60, 5}, 3},
        {{60, 60, 5, 2}, 4},   // running total 131
        {{60, 60, 5, 3}, 3},   // 132 reached: left out
        {{60, 60, 5, 3, 1}, 3},  // and nothing after it, however short
        {{200, 1}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.lengths));
        std::vector<std::string> args;
        std::string expected;
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            args.push_back(text_of(c.lengths[i], static_cast<char>('a' + i)));
            if (i < c.shown) expected += args.back() + "\n";
        }
        host().dialogs().clear_records();
        auto result = call(words("MOM_box_message", args));
        EXPECT_EQ(result.result, "0");
        ASSERT_EQ(host().dialogs().records().size(), 1u);
        EXPECT_EQ(host().dialogs().last().call, "uc1601");
        EXPECT_EQ(host().dialogs().last().as<OkMessage>().text, expected);
        EXPECT_EQ(host().dialogs().last().as<OkMessage>().flag, 1);
    }
}

TEST_P(MessageText, BoxMessageWithoutArgumentsShowsNothing) {
    auto result = call({"MOM_box_message"});
    EXPECT_EQ(result.result, "0");
    EXPECT_EQ(host().count_calls("uc1601"), 0u);
}

TEST_P(MessageText, InfoMessagePositionOnlyFromAnExactFirstArgument) {
    const struct {
        std::vector<std::string> args;
        int position;
        std::string text;
    } cases[] = {
        {{"CASCADE"}, 1, ""},
        {{"cascade"}, 3, "cascade\n"},
        {{"RIGHT", "LEFT"}, 2, "LEFT\n"},
        {{"CURSOR", "a", "b"}, 0, "a\nb\n"},
        {{"LEFT", "x"}, 3, "x\n"},
        {{"x", "CURSOR"}, 3, "x\nCURSOR\n"},
        {{"Right", "x"}, 3, "Right\nx\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        host().dialogs().clear_records();
        auto result = call(words("MOM_info_message", c.args));
        EXPECT_EQ(result.result, "");
        EXPECT_EQ(result.code, 0);
        ASSERT_EQ(host().dialogs().records().size(), 1u);
        const auto &window = host().dialogs().last().as<InfoWindow>();
        EXPECT_EQ(window.title, "PostProcessor.....");
        EXPECT_EQ(window.position, c.position);
        EXPECT_EQ(window.text, c.text);
    }
}

TEST_P(MessageText, InfoMessageJoinsBelowTheLimitOf1024) {
    const struct {
        std::vector<std::size_t> lengths;
        std::size_t shown;
    } cases[] = {
        {{1022}, 1},
        {{1023}, 0},
        {{500, 500, 20}, 3},    // running total 1023
        {{500, 500, 21, 1}, 2}, // 1024 reached, and the short one stays out
    };
    for (const auto &c : cases) {
        std::vector<std::string> args{"RIGHT"};
        std::string expected;
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            args.push_back(text_of(c.lengths[i], static_cast<char>('a' + i)));
            if (i < c.shown) expected += args.back() + "\n";
        }
        call(words("MOM_info_message", args));
        EXPECT_EQ(host().dialogs().last().as<InfoWindow>().text, expected)
            << ::testing::PrintToString(c.lengths);
    }
}

TEST_P(MessageText, InfoMessageWithoutArgumentsShowsNothing) {
    EXPECT_EQ(call({"MOM_info_message"}).result, "");
    EXPECT_EQ(host().count_calls("UF_UI_display_nonmodal_msg"), 0u);
}

// On Windows the plug-in shows the shell's own About box, which the
// emulated host does not see.
#if defined(_WIN32)
#define SKIP_WITHOUT_ABOUT_STAND_IN() GTEST_SKIP() << "the shell's About box is not emulated"
#else
#define SKIP_WITHOUT_ABOUT_STAND_IN() (void)0
#endif

TEST_P(MessageText, AboutBoxIgnoresArgumentsAndLeavesTheResult) {
    SKIP_WITHOUT_ABOUT_STAND_IN();
    for (const auto &args : {std::vector<std::string>{}, {"extra", "words"}}) {
        host().dialogs().clear_records();
        auto result = call(words("MOM_about_stub", args));
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.result, "");
        ASSERT_EQ(host().dialogs().records().size(), 1u);
        const auto &about = host().dialogs().last().as<emuhost::AboutBox>();
        EXPECT_EQ(host().dialogs().last().call, "ShellAboutA");
        EXPECT_EQ(about.application, "Quentor for UniGraphics");
        EXPECT_FALSE(about.owner_given);
        EXPECT_FALSE(about.icon_given);
        // Two lines of credits that fit their 132-byte buffer.
        EXPECT_EQ(std::count(about.other.begin(), about.other.end(), '\n'), 1);
        EXPECT_LE(about.other.size(), 131u);
    }
    // The record is untouched: the result text is still the translator's own.
    if (!host().translator().is_tcl()) {
        char *before = host().translator().record()->result;
        call({"MOM_about_stub"});
        EXPECT_EQ(host().translator().record()->result, before);
    }
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(MessageText, AboutBoxFallsBackToTheMessageBoxInTheGuardedBuild) {
    SKIP_WITHOUT_ABOUT_STAND_IN();
    if (sizeof(void *) < 8) GTEST_SKIP() << "the 32-bit build has no guard";
    call({"MOM_about_stub"});
    const std::string credits = host().dialogs().last().as<emuhost::AboutBox>().other;
    host().dialogs().clear_records();
    host().throw_in_call("ShellAboutA");
    auto result = call({"MOM_about_stub"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(host().syslog(), std::vector<std::string>{" ShellAbout error process \n"});
    ASSERT_EQ(host().dialogs().records().size(), 1u);
    EXPECT_EQ(host().dialogs().last().as<OkMessage>().text, credits);
    EXPECT_EQ(host().dialogs().last().as<OkMessage>().flag, 1);
}

TARVEX_ALL_TRANSLATORS(MessageText);

}  // namespace
