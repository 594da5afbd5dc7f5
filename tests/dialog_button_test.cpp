// MOM_ui_message and MOM_abort_ex: keyword parsing, button sets, line caps,
// responses and the abort's error.
#include "harness.h"

namespace {

using emuhost::MessageDialog;
using tarvex_test::CommandTest;
using tarvex_test::HostTest;
using tarvex_test::words;

// "Yes=1 - No=3": the button set as shown, absent buttons as "-".
std::string buttons_of(const MessageDialog &dialog) {
    std::string out;
    for (const auto &button : dialog.buttons) {
        if (!out.empty()) out += " ";
        if (!button.shown) {
            out += button.label || button.response != 0 ? "?" : "-";
            continue;
        }
        out += button.label.value_or("(null)") + "=" + std::to_string(button.response);
    }
    return out;
}

class ButtonDialogs : public CommandTest {};

struct KeywordCase {
    std::vector<std::string> args;
    int type;
    std::string buttons;
    std::vector<std::string> lines;
};

TEST_P(ButtonDialogs, KeywordsOnlyInTheFirstTwoArgumentsExactlySpelt) {
    const KeywordCase cases[] = {
        {{"QUESTION", "YESNO", "Overwrite?"}, 3, "Yes=1 - No=3", {"Overwrite?"}},
        {{"plain", "text"}, 2, "OK=1 - -", {"plain", "text"}},
        {{"text", "YESNO"}, 2, "Yes=1 - No=3", {"text"}},
        {{"YESNOCANCEL", "WARN", "x"}, 1, "Yes=1 No=2 Cancel=3", {"x"}},
        {{"INFO", "ABORTRETRYIGNORE", "x"}, 2, "Abort=1 Retry=2 Ignore=3", {"x"}},
        {{"RETRYCANCEL", "ERROR", "x"}, 0, "Retry=1 - Cancel=3", {"x"}},
        {{"INFORMATION", "OKCANCEL", "x"}, 2, "OK=1 - Cancel=3", {"x"}},
        // argv[2] wins within a table.
        {{"OKCANCEL", "YESNO", "x"}, 2, "Yes=1 - No=3", {"x"}},
        {{"WARNING", "QUESTION", "x"}, 3, "OK=1 - -", {"x"}},
        {{"?", "x"}, 3, "OK=1 - -", {"x"}},
        // From argv[3] on, keywords are text.
        {{"a", "b", "ERROR"}, 2, "OK=1 - -", {"a", "b", "ERROR"}},
        {{"ERROR", "x", "YESNO"}, 0, "OK=1 - -", {"x", "YESNO"}},
        // Case-sensitive, whole word.
        {{"error", "x"}, 2, "OK=1 - -", {"error", "x"}},
        {{"Yesno", "QUESTIONS", "OK "}, 2, "OK=1 - -", {"Yesno", "QUESTIONS", "OK "}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        host().dialogs().clear_records();
        auto result = call(words("MOM_ui_message", c.args));
        ASSERT_EQ(host().dialogs().records().size(), 1u);
        const auto &dialog = host().dialogs().last().as<MessageDialog>();
        EXPECT_EQ(dialog.title, "PostProcessor.....");
        EXPECT_EQ(dialog.type, c.type);
        EXPECT_EQ(buttons_of(dialog), c.buttons);
        EXPECT_EQ(dialog.lines, c.lines);
        EXPECT_EQ(dialog.translate, 1);
        // Unanswered, the first button is pressed.
        EXPECT_EQ(result.result, "1");
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.error_line, 0);
    }
}

TEST_P(ButtonDialogs, ReportsThePressedButtonsResponseTwice) {
    const struct {
        const char *set;
        const char *pressed;
        const char *response;
    } cases[] = {
        {"YESNO", "No", "3"},           {"YESNOCANCEL", "No", "2"},
        {"YESNOCANCEL", "Cancel", "3"}, {"OKCANCEL", "Cancel", "3"},
        {"ABORTRETRYIGNORE", "Ignore", "3"}, {"ABORTRETRYIGNORE", "Retry", "2"},
        {"RETRYCANCEL", "Retry", "1"},  {"OK", "OK", "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.set) + " " + c.pressed);
        host().dialogs().answer(c.pressed);
        auto result = call({"MOM_ui_message", c.set, "line"});
        EXPECT_EQ(result.result, c.response);
        EXPECT_EQ(host().variable("ui_message_return"), c.response);
        EXPECT_EQ(host().dialogs().last().source, emuhost::AnswerSource::Scripted);
    }
    EXPECT_TRUE(host().dialogs().errors().empty());
}

TEST_P(ButtonDialogs, WithoutLinesNoDialogAndResponseZero) {
    for (const auto &args : {std::vector<std::string>{}, {"ERROR", "YESNO"}, {"QUESTION"}}) {
        host().set_variable("ui_message_return", "99");
        auto result = call(words("MOM_ui_message", args));
        EXPECT_EQ(result.result, "0");
        EXPECT_EQ(host().variable("ui_message_return"), "0");
    }
    EXPECT_EQ(host().count_calls("UF_UI_message_dialog"), 0u);
}

TEST_P(ButtonDialogs, ShowsAtMostThirtyLines) {
    std::vector<std::string> args{"ERROR", "YESNO"};
    std::vector<std::string> expected;
    for (int i = 1; i <= 32; ++i) {
        args.push_back("line " + std::to_string(i));
        if (i <= 30) expected.push_back(args.back());
    }
    call(words("MOM_ui_message", args));
    EXPECT_EQ(host().dialogs().last().as<MessageDialog>().lines, expected);
}

TEST_P(ButtonDialogs, FailedDialogReportsTheUntouchedResponse) {
    host().fail_call("UF_UI_message_dialog", emuhost::kErrInvalidArgument);
    auto result = call({"MOM_ui_message", "QUESTION", "YESNO", "x"});
    EXPECT_EQ(result.result, "0");
    EXPECT_EQ(host().variable("ui_message_return"), "0");
}

TEST_P(ButtonDialogs, AbortShowsTheLinesAndFailsWithThemJoined) {
    host().dialogs().answer("Abort");
    auto result = call({"MOM_abort_ex", "Tool 7 missing", "", "stop"});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.error_line, 1);
    EXPECT_EQ(result.result, "Tool 7 missing\n\nstop\n");
    const auto &dialog = host().dialogs().last().as<MessageDialog>();
    EXPECT_EQ(dialog.title, "PostProcessor Abort..");
    EXPECT_EQ(dialog.type, 0);
    EXPECT_EQ(dialog.lines, (std::vector<std::string>{"Tool 7 missing", "", "stop"}));
    EXPECT_EQ(buttons_of(dialog), "Abort=1 - -");
    EXPECT_TRUE(host().dialogs().errors().empty());
}

TEST_P(ButtonDialogs, AbortShowsAndJoinsTheFirstFifteen) {
    std::vector<std::string> args;
    std::string joined;
    for (int i = 1; i <= 17; ++i) {
        args.push_back(std::string(static_cast<std::size_t>(i), static_cast<char>('a' + i % 26)));
        if (i <= 15) joined += args.back() + "\n";
    }
    auto result = call(words("MOM_abort_ex", args));
    EXPECT_EQ(result.result, joined);
    EXPECT_EQ(host().dialogs().last().as<MessageDialog>().lines.size(), 15u);
    // A later, shorter abort does not show the earlier message.
    EXPECT_EQ(call({"MOM_abort_ex", "x"}).result, "x\n");
}

TEST_P(ButtonDialogs, AbortWithoutArgumentsFailsWithAnEmptyMessage) {
    auto result = call({"MOM_abort_ex"});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.error_line, 1);
    EXPECT_EQ(result.result, "");
    EXPECT_TRUE(host().dialogs().records().empty());
}

TARVEX_ALL_TRANSLATORS(ButtonDialogs);

}  // namespace
