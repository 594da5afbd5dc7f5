// The emulated host's dialogs: what they record, how queued answer lines are
// read, defaults, prompts, refused answers and the callers' field sizes.
#include <cstdio>
#include <cstring>

#include "harness.h"

namespace {

using emuhost::AnswerSource;
using emuhost::DialogHost;
using emuhost::session;

class HostDialogs : public ::testing::Test {
protected:
    void SetUp() override { session().reset(); }
    void TearDown() override { session().reset(); }
    DialogHost &dialogs() { return session().dialogs(); }

    // Shows a YESNOCANCEL-like message dialog; answers the response.
    int message(const MessageButtons &buttons) {
        char line[] = "Overwrite?";
        char *lines[] = {line};
        MessageButtons copy = buttons;
        int response = -7;
        EXPECT_EQ(UF_UI_message_dialog("T", DIALOG_QUESTION, lines, 1, 1, &copy, &response), 0);
        return response;
    }
    int string_input(const char *default_text, std::string *answered = nullptr, int *length = nullptr) {
        char cue[UC1600_CUE_SIZE] = "Cue";
        char answer[UC1600_ANSWER_SIZE];
        std::snprintf(answer, sizeof answer, "%s", default_text);
        int response = uc1600(cue, answer, length);
        if (answered) *answered = answer;
        return response;
    }
};

const MessageButtons kYesNoCancel = {1, 1, 1, "Yes", "No", "Cancel", 1, 2, 3};
const MessageButtons kYesNo = {1, 0, 1, "Yes", nullptr, "No", 1, 0, 3};

TEST_F(HostDialogs, MessageDialogTakesALabelOrAResponseValue) {
    dialogs().answer_lines("No\r\n\n  3 \nYes\n");
    EXPECT_EQ(dialogs().pending(), 3u);
    EXPECT_EQ(message(kYesNoCancel), 2);
    EXPECT_EQ(message(kYesNoCancel), 3);
    EXPECT_EQ(dialogs().last().as<emuhost::MessageDialog>().pressed, 3);
    EXPECT_EQ(message(kYesNoCancel), 1);
    // Nothing queued: the first shown button.
    EXPECT_EQ(message(kYesNoCancel), 1);
    EXPECT_EQ(dialogs().last().source, AnswerSource::Defaulted);
    EXPECT_TRUE(dialogs().errors().empty());
}

TEST_F(HostDialogs, RefusedAnswersAreErrorsAndTheDialogTakesItsDefault) {
    struct Case {
        std::function<void()> queue;
        std::function<int()> show;
        int expected;
        const char *problem_part;
    };
    const Case cases[] = {
        // A button the dialog does not show, by label and by value.
        {[&] { dialogs().answer("Cancel"); }, [&] { return message(kYesNo); }, 1, "names no button"},
        {[&] { dialogs().answer("2"); }, [&] { return message(kYesNo); }, 1, "names no button"},
        {[&] { dialogs().answer("no"); }, [&] { return message(kYesNo); }, 1, "\"Yes\"=1 \"No\"=3"},
        // An answer made for another kind of dialog.
        {[&] { dialogs().answer_filebox(3, "a.ptp"); }, [&] { return message(kYesNo); }, 1,
         "made for a file box"},
        {[&] { dialogs().answer_button("Yes"); }, [&] { return string_input("d"); }, 3,
         "made for a message dialog"},
        // Responses the string input does not have, or none at all.
        {[&] { dialogs().answer("4 text"); }, [&] { return string_input("d"); }, 3, "no response"},
        {[&] { dialogs().answer("text"); }, [&] { return string_input("d"); }, 3,
         "does not begin with a response number"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.problem_part);
        dialogs().clear_records();
        c.queue();
        EXPECT_EQ(c.show(), c.expected);
        ASSERT_EQ(dialogs().errors().size(), 1u);
        EXPECT_NE(dialogs().errors()[0].find(c.problem_part), std::string::npos) << dialogs().errors()[0];
        EXPECT_EQ(dialogs().last().problem, dialogs().errors()[0]);
        EXPECT_EQ(dialogs().last().source, AnswerSource::Defaulted);
        EXPECT_EQ(dialogs().pending(), 0u);
    }
}

TEST_F(HostDialogs, StringInputAnswersAreCutToTheField) {
    std::string answered;
    int length = -1;
    dialogs().answer("5  two blanks kept ");
    EXPECT_EQ(string_input("d", &answered, &length), 5);
    EXPECT_EQ(answered, " two blanks kept ");
    EXPECT_EQ(length, 17);

    dialogs().answer_string(5, std::string(300, 't'));
    EXPECT_EQ(string_input("d", &answered, &length), 5);
    EXPECT_EQ(answered, std::string(132, 't'));
    EXPECT_EQ(length, 132);
    EXPECT_EQ(dialogs().last().as<emuhost::StringInput>().text, std::string(132, 't'));

    // No text: the default stays; "5 " enters an empty one.
    dialogs().answer_lines("2\n5 \n");
    EXPECT_EQ(string_input("d", &answered), 2);
    EXPECT_EQ(answered, "d");
    EXPECT_EQ(string_input("d", &answered), 5);
    EXPECT_EQ(answered, "");
}

TEST_F(HostDialogs, FileboxNeverWritesPastItsField) {
    struct {
        char filter[FILEBOX_NAME_SIZE];
        char name[FILEBOX_NAME_SIZE];
        char guard[16];
    } fields;
    std::memset(&fields, 'g', sizeof fields);
    std::snprintf(fields.filter, sizeof fields.filter, "*.ptp");
    std::snprintf(fields.name, sizeof fields.name, "default.ptp");
    dialogs().answer_filebox(emuhost::kFileboxOk, std::string(500, 'n'));
    int response = 0;
    ASSERT_EQ(UF_UI_create_filebox("p", "t", fields.filter, fields.name, fields.name, &response), 0);
    EXPECT_EQ(response, 3);
    EXPECT_EQ(std::string(fields.name), std::string(131, 'n'));
    EXPECT_EQ(std::string(fields.guard, sizeof fields.guard), std::string(16, 'g'));
    const auto &box = dialogs().last().as<emuhost::FileBox>();
    EXPECT_EQ(box.default_name, "default.ptp");
    EXPECT_EQ(box.filename, std::string(131, 'n'));
}

TEST_F(HostDialogs, ValueInputAnswersReplaceTheFirstValues) {
    char labels[3][UC1609_LABEL_SIZE] = {"A", "B", "C"};
    double values[3] = {1, 2, 3};
    dialogs().answer("3 10 -2.5e1");
    EXPECT_EQ(uc1609("", labels, 3, values, nullptr), 3);
    EXPECT_EQ(values[0], 10);
    EXPECT_EQ(values[1], -25);
    EXPECT_EQ(values[2], 3);
    EXPECT_EQ(dialogs().last().as<emuhost::RealInput>().values, (std::vector<double>{1, 2, 3}));

    dialogs().answer_reals(emuhost::kRealsOk, {0.1, 0.2, 0.3});
    EXPECT_EQ(uc1609("", labels, 3, values, nullptr), 3);
    EXPECT_EQ(values[2], 0.3);  // exact through the answer line

    for (const char *bad : {"3 1 2 3 4", "3 1 x", "3 nan", "9"}) {
        dialogs().answer(bad);
        double before[3] = {values[0], values[1], values[2]};
        EXPECT_EQ(uc1609("", labels, 3, values, nullptr), 3) << bad;
        EXPECT_EQ(std::memcmp(before, values, sizeof values), 0) << bad;
    }
    EXPECT_EQ(dialogs().errors().size(), 4u);
}

TEST_F(HostDialogs, PromptIsAskedWhenTheQueueIsEmptyUntilALineFits) {
    std::vector<std::string> problems;
    std::vector<std::string> replies{"Maybe", "No"};
    dialogs().set_prompt([&](const emuhost::DialogRecord &dialog, const std::string &problem)
                             -> std::optional<std::string> {
        EXPECT_EQ(dialog.as<emuhost::MessageDialog>().lines, std::vector<std::string>{"Overwrite?"});
        problems.push_back(problem);
        if (replies.empty()) return std::nullopt;
        std::string reply = replies.front();
        replies.erase(replies.begin());
        return reply;
    });
    dialogs().answer("Yes");
    EXPECT_EQ(message(kYesNo), 1);  // the queue comes first
    EXPECT_TRUE(problems.empty());

    EXPECT_EQ(message(kYesNo), 3);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "");
    EXPECT_NE(problems[1].find("\"Maybe\""), std::string::npos);
    EXPECT_EQ(dialogs().last().source, AnswerSource::Prompted);
    EXPECT_EQ(dialogs().last().answer, "No");
    // A prompt's misfits are the user's typing, not errors of a script.
    EXPECT_TRUE(dialogs().errors().empty());

    EXPECT_EQ(message(kYesNo), 1);  // the prompt gives nothing: default
    EXPECT_EQ(dialogs().last().source, AnswerSource::Defaulted);

    // A prompt that shows windows records its answers as clicked, until a
    // reset brings back the terminal's kind.
    dialogs().set_prompt([](const emuhost::DialogRecord &, const std::string &) { return std::string("No"); },
                         AnswerSource::Clicked);
    EXPECT_EQ(message(kYesNo), 3);
    EXPECT_EQ(dialogs().last().source, AnswerSource::Clicked);
    dialogs().reset();
    dialogs().set_prompt([](const emuhost::DialogRecord &, const std::string &) { return std::string("No"); });
    EXPECT_EQ(message(kYesNo), 3);
    EXPECT_EQ(dialogs().last().source, AnswerSource::Prompted);
}

TEST_F(HostDialogs, RecordsEveryCallInOrderAndRefusesMalformedOnes) {
    std::vector<std::string> seen;
    dialogs().on_record([&](const emuhost::DialogRecord &record) { seen.push_back(record.call); });
    EXPECT_EQ(uc1601("box", 1), 0);
    EXPECT_EQ(UF_UI_display_nonmodal_msg("T", "info", MSG_CASCADE), 0);
    message(kYesNo);

    char *no_lines[] = {nullptr};
    MessageButtons none = {0, 0, 0, nullptr, nullptr, nullptr, 0, 0, 0};
    MessageButtons unlabelled = {1, 0, 0, nullptr, nullptr, nullptr, 1, 0, 0};
    MessageButtons yes_no = kYesNo;
    char line[] = "x";
    char *lines[] = {line};
    int response = 0;
    EXPECT_NE(UF_UI_message_dialog("T", 2, no_lines, 1, 1, &yes_no, &response), 0);
    EXPECT_NE(UF_UI_message_dialog("T", 2, lines, 1, 1, &none, &response), 0);
    EXPECT_NE(UF_UI_message_dialog("T", 2, lines, 1, 1, &unlabelled, &response), 0);
    EXPECT_NE(UF_UI_message_dialog("T", 4, lines, 1, 1, &yes_no, &response), 0);
    EXPECT_NE(UF_UI_display_nonmodal_msg("T", "info", 4), 0);
    char labels[1][UC1609_LABEL_SIZE] = {"A"};
    double values[1] = {0};
    EXPECT_NE(uc1609("", labels, 15, values, nullptr), 3);
    EXPECT_NE(uc1600(nullptr, nullptr, nullptr), 3);

    EXPECT_EQ(seen, (std::vector<std::string>{"uc1601", "UF_UI_display_nonmodal_msg", "UF_UI_message_dialog"}));
    EXPECT_EQ(dialogs().records().size(), 3u);
    EXPECT_EQ(dialogs().count("uc1601"), 1u);
    EXPECT_EQ(dialogs().records()[0].source, AnswerSource::None);

    session().reset();
    EXPECT_TRUE(dialogs().records().empty());
    EXPECT_THROW(dialogs().last(), std::logic_error);
    EXPECT_THROW(dialogs().answer_string(5, "two\nlines"), std::invalid_argument);
}

}  // namespace
