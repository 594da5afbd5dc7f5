// MOM_ui_filebox, MOM_uc1600 and MOM_uc1609: fields, cuts, responses,
// variables, log and trace lines.
#include "harness.h"

namespace {

using emuhost::FileBox;
using emuhost::RealInput;
using emuhost::StringInput;
using tarvex_test::CommandTest;
using tarvex_test::HostTest;
using tarvex_test::words;

class InputDialogs : public CommandTest {
protected:
    void set_array(const std::string &name, const std::vector<std::string> &elements) {
        for (std::size_t i = 0; i < elements.size(); ++i)
            host().set_array_element(name, static_cast<int>(i), elements[i]);
    }
};

TEST_P(InputDialogs, FileboxFieldsAndVariables) {
    const struct {
        std::vector<std::string> args;
        const char *answer;  // nullptr: none queued
        std::string filter, default_name, result;
        int response;
    } cases[] = {
        {{}, nullptr, "*", "", "", 3},
        {{"C:\\cam\\a.ptp"}, nullptr, "*", "C:\\cam\\a.ptp", "C:\\cam\\a.ptp", 3},
        {{"a.ptp", "*.ptp", "ignored"}, "3 D:\\out\\b c.ptp", "*.ptp", "a.ptp", "D:\\out\\b c.ptp", 3},
        {{"a.ptp"}, "2", "*", "a.ptp", "a.ptp", 2},
        {{std::string(131, 'n'), std::string(131, 'f')}, "1",
         std::string(131, 'f'), std::string(131, 'n'), std::string(131, 'n'), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        if (c.answer) host().dialogs().answer(c.answer);
        auto result = call(words("MOM_ui_filebox", c.args));
        EXPECT_EQ(result.result, c.result);
        EXPECT_EQ(result.error_line, 0);
        const auto &box = host().dialogs().last().as<FileBox>();
        EXPECT_EQ(box.prompt, "->Select File...");
        EXPECT_EQ(box.title, "..Select File...");
        EXPECT_EQ(box.filter, c.filter);
        EXPECT_EQ(box.default_name, c.default_name);
        EXPECT_EQ(host().variable("ui_filebox_return"), std::to_string(c.response));
        EXPECT_EQ(host().variable("ui_filebox_filename"), c.result);
    }
    EXPECT_TRUE(host().dialogs().errors().empty());
}

TEST_P(InputDialogs, FileboxThatStoresNothingReportsMinusOne) {
    host().fail_call("UF_UI_create_filebox", emuhost::kErrInvalidArgument);
    auto result = call({"MOM_ui_filebox", "keep.ptp"});
    EXPECT_EQ(result.result, "keep.ptp");
    EXPECT_EQ(host().variable("ui_filebox_return"), "-1");
    EXPECT_EQ(host().variable("ui_filebox_filename"), "keep.ptp");
}

TEST_P(InputDialogs, FileboxRefusesNamesThatWouldBeCut) {
    for (const auto &args : {std::vector<std::string>{std::string(132, 'n')},
                             std::vector<std::string>{"a.ptp", std::string(132, 'f')}}) {
        host().clear_logs();
        host().set_variable("ui_filebox_filename", "stale.ptp");
        auto result = call(words("MOM_ui_filebox", args));
        EXPECT_EQ(result.result, "");
        EXPECT_EQ(host().variable("ui_filebox_return"), "-1");
        EXPECT_EQ(host().variable("ui_filebox_filename"), "");
        ASSERT_EQ(host().syslog().size(), 1u);
        EXPECT_EQ(host().syslog()[0].rfind(" MOM_ui_filebox: ", 0), 0u);
    }
    EXPECT_EQ(host().count_calls("UF_UI_create_filebox"), 0u);
}

TEST_P(InputDialogs, Uc1600CutsTheCueAndDefault) {
    auto result = call({"MOM_uc1600", std::string(100, 'c'), std::string(200, 'd'), "ignored"});
    const auto &input = host().dialogs().last().as<StringInput>();
    EXPECT_EQ(input.cue, std::string(79, 'c'));
    EXPECT_EQ(input.default_text, std::string(132, 'd'));
    // Unanswered: OK with the default kept.
    EXPECT_EQ(result.result, std::string(132, 'd'));
    EXPECT_EQ(host().syslog(),
              std::vector<std::string>{" uc1600 ( response=3  ca2=" + std::string(40, 'd') + " )\n"});
}

TEST_P(InputDialogs, Uc1600ResultOnlyForResponsesThreeAndFive) {
    const struct {
        const char *answer;
        std::string result, log;
    } cases[] = {
        {"5 Roughing with the 12 mm end mill, then finishing", "Roughing with the 12 mm end mill, then finishing",
         " uc1600 ( response=5  ca2=Roughing with the 12 mm end mill, then f )\n"},
        {"3", "default", " uc1600 ( response=3  ca2=default )\n"},
        {"2 typed", "", " uc1600 ( response=2  ca2=typed )\n"},
        {"1", "", " uc1600 ( response=1  ca2=default )\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer);
        host().clear_logs();
        host().dialogs().answer(c.answer);
        auto result = call({"MOM_uc1600", "Operation note", "default"});
        EXPECT_EQ(result.result, c.result);
        EXPECT_EQ(result.error_line, 0);
        EXPECT_EQ(host().syslog(), std::vector<std::string>{c.log});
    }
    // Without arguments both fields start empty.
    host().dialogs().answer("5 x");
    EXPECT_EQ(call({"MOM_uc1600"}).result, "x");
    EXPECT_EQ(host().dialogs().last().as<StringInput>().cue, "");
    EXPECT_EQ(host().dialogs().last().as<StringInput>().default_text, "");
}

TEST_P(InputDialogs, Uc1609ArgumentChecksStopQuietly) {
    set_array("lbl", {"A", "B", "C"});
    set_array("val", {"1", "2", "3"});
    const std::vector<std::string> cases[] = {
        {},
        {"3", "lbl"},
        {"3", "lbl", "val", "extra"},
        {"0", "lbl", "val"},
        {"15", "lbl", "val"},
        {"abc", "lbl", "val"},
        {"-2", "lbl", "val"},
        {"4294967297", "lbl", "val"},  // too large for an int, not 1
        {"3", "missing", "val"},
        {"3", "lbl", "missing"},
        {"4", "lbl", "val"},  // the arrays hold only three
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        host().unset_variable("uc1609_return");
        emuhost::CallResult result;
        auto output = tarvex_test::capture([&] { result = call(words("MOM_uc1609", args)); });
        EXPECT_EQ(result.result, "8");
        EXPECT_EQ(result.error_line, 0);
        EXPECT_EQ(output.out, "");
        EXPECT_EQ(host().variable("uc1609_return"), std::nullopt);
    }
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_EQ(host().count_calls("uc1609"), 0u);
    // A failed label read stops before the values are read.
    host().clear_calls();
    call({"MOM_uc1609", "3", "missing", "val"});
    EXPECT_EQ(host().count_calls("UF_MOM_ask_double_array"), 0u);
}

TEST_P(InputDialogs, Uc1609ShowsFourteenItemsAndRefusesFifteen) {
    std::vector<std::string> labels, values;
    for (int i = 0; i < 15; ++i) {
        labels.push_back("L" + std::to_string(i));
        values.push_back(std::to_string(i) + ".5");
    }
    set_array("lbl", labels);
    set_array("val", values);
    host().dialogs().answer("3");
    emuhost::CallResult result;
    auto output = tarvex_test::capture([&] { result = call({"MOM_uc1609", "14", "lbl", "val"}); });
    EXPECT_EQ(result.result, "3");
    const auto &input = host().dialogs().last().as<RealInput>();
    EXPECT_EQ(input.labels, std::vector<std::string>(labels.begin(), labels.begin() + 14));
    EXPECT_EQ(input.values.size(), 14u);
    EXPECT_EQ(input.values.back(), 13.5);
    EXPECT_NE(output.out.find("13)=L13=13.500000 \n"), std::string::npos) << output.out;

    host().clear_calls();
    host().unset_variable("uc1609_return");
    EXPECT_EQ(call({"MOM_uc1609", "15", "lbl", "val"}).result, "8");
    EXPECT_EQ(host().count_calls("uc1609"), 0u);
    EXPECT_EQ(host().variable("uc1609_return"), std::nullopt);
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(InputDialogs, Uc1609TracesShowsAndReportsTheResponse) {
    set_array("lbl", {"X offset", "A label of twenty ch", ""});
    set_array("val", {"1.5", "-0.25", "1e3"});
    host().dialogs().answer("2 9 9 9");
    emuhost::CallResult result;
    auto output = tarvex_test::capture([&] { result = call({"MOM_uc1609", " 3rd", "lbl", "val"}); });
    EXPECT_EQ(output.out,
              "0)=X offset=1.500000 \n"
              "1)=A label of tw=-0.250000 \n"
              "2)==1000.000000 \n");
    const auto &input = host().dialogs().last().as<RealInput>();
    EXPECT_EQ(input.title, "");
    EXPECT_EQ(input.labels, (std::vector<std::string>{"X offset", "A label of twen", ""}));
    EXPECT_EQ(input.values, (std::vector<double>{1.5, -0.25, 1000}));
    EXPECT_FALSE(input.item_given);
    EXPECT_EQ(result.result, "2");
    EXPECT_EQ(host().variable("uc1609_return"), "2");
    // The edited values go nowhere.
    EXPECT_EQ(host().translator().get_element("mom_val", "0"), std::string("1.5"));
}

TEST_P(InputDialogs, Uc1609RefusesArrayNamesThatWouldBeCut) {
    const std::string name39(39, 'v'), name40(40, 'v');
    set_array(name39, {"1"});
    set_array("lbl", {"L"});
    auto output = tarvex_test::capture(
        [&] { EXPECT_EQ(call({"MOM_uc1609", "1", "lbl", name39}).result, "3"); });
    EXPECT_EQ(output.out, "0)=L=1.000000 \n");
    host().clear_calls();
    EXPECT_EQ(call({"MOM_uc1609", "1", "lbl", name40}).result, "8");
    EXPECT_EQ(call({"MOM_uc1609", "1", name40, name39}).result, "8");
    EXPECT_EQ(host().count_calls("UF_MOM_ask_string_array"), 0u);
    EXPECT_EQ(host().syslog(), std::vector<std::string>(
                                   2, " MOM_uc1609: array name longer than 39 characters \n"));
}

TARVEX_ALL_TRANSLATORS(InputDialogs);

}  // namespace
