// The dialog commands as post scripts use them, in the real Tcl interpreter.
#include "harness.h"

namespace {

using emuhost::MessageDialog;
using tarvex_test::HostTest;

class DialogScripts : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        host().clear_logs();
    }
    emuhost::CallResult eval(const std::string &script) { return host().translator().eval(script); }
};

TEST_P(DialogScripts, OverwriteQuestionAnsweredNo) {
    host().dialogs().answer("No");
    auto out = eval("set r [MOM_ui_message QUESTION YESNO \"Overwrite?\"]\n"
                    "list $r $mom_ui_message_return");
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.result, "3 3");
    ASSERT_EQ(host().dialogs().records().size(), 1u);
    const auto &record = host().dialogs().last();
    EXPECT_EQ(record.call, "UF_UI_message_dialog");
    EXPECT_EQ(record.source, emuhost::AnswerSource::Scripted);
    const auto &dialog = record.as<MessageDialog>();
    EXPECT_EQ(dialog.type, 3);
    EXPECT_EQ(dialog.title, "PostProcessor.....");
    EXPECT_EQ(dialog.lines, std::vector<std::string>{"Overwrite?"});
    EXPECT_TRUE(dialog.buttons[0].shown);
    EXPECT_EQ(dialog.buttons[0].label, "Yes");
    EXPECT_EQ(dialog.buttons[0].response, 1);
    EXPECT_FALSE(dialog.buttons[1].shown);
    EXPECT_EQ(dialog.buttons[1].label, std::nullopt);
    EXPECT_TRUE(dialog.buttons[2].shown);
    EXPECT_EQ(dialog.buttons[2].label, "No");
    EXPECT_EQ(dialog.buttons[2].response, 3);
    EXPECT_EQ(dialog.pressed, 3);
}

TEST_P(DialogScripts, AbortStopsTheCallingScript) {
    auto out = eval("set reached 0\n"
                    "set code [catch {MOM_abort_ex \"Tool 7 missing\" {Post stopped}; set reached 1} message]\n"
                    "list $code $reached $message");
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.result, "1 0 {Tool 7 missing\nPost stopped\n}");

    // Inside a procedure the error leaves the procedure and its caller too.
    out = eval("proc check_tool {} { MOM_abort_ex bad tool; return done }\n"
               "proc run {} { check_tool; return finished }\n"
               "run");
    EXPECT_EQ(out.code, 1);
    EXPECT_EQ(out.result, "bad\ntool\n");
    EXPECT_EQ(host().dialogs().count("UF_UI_message_dialog"), 2u);
}

TEST_P(DialogScripts, ScriptsReadTheFileboxAnswerFromVariables) {
    host().dialogs().answer("3 C:\\cam\\out 1.ptp");
    auto out = eval("set name [MOM_ui_filebox {C:\\cam\\default.ptp} *.ptp]\n"
                    "list $name $mom_ui_filebox_return $mom_ui_filebox_filename");
    EXPECT_EQ(out.result, "{C:\\cam\\out 1.ptp} 3 {C:\\cam\\out 1.ptp}");
    const auto &box = host().dialogs().last().as<emuhost::FileBox>();
    EXPECT_EQ(box.default_name, "C:\\cam\\default.ptp");
    EXPECT_EQ(box.filter, "*.ptp");
}

TEST_P(DialogScripts, ValueDialogFromScriptArrays) {
    host().dialogs().answer("2");
    std::string script =
        "array set mom_feed_label {0 Feed 1 {Spindle speed}}\n"
        "array set mom_feed_value {0 250.5 1 -3}\n"
        "list [MOM_uc1609 2 feed_label feed_value] $mom_uc1609_return";
    auto output = tarvex_test::capture([&] { EXPECT_EQ(eval(script).result, "2 2"); });
    EXPECT_EQ(output.out, "0)=Feed=250.500000 \n1)=Spindle speed=-3.000000 \n");
    const auto &input = host().dialogs().last().as<emuhost::RealInput>();
    EXPECT_EQ(input.labels, (std::vector<std::string>{"Feed", "Spindle speed"}));
    EXPECT_EQ(input.values, (std::vector<double>{250.5, -3}));
}

INSTANTIATE_TEST_SUITE_P(Tcl, DialogScripts, ::testing::Values(emuhost::TranslatorKind::Tcl),
                         tarvex_test::translator_name);

}  // namespace
