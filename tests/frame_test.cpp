// Start, registration and diagnostics of the plug-in, as the host sees them.
#include <algorithm>

#include "harness.h"

namespace {

using tarvex_test::HostTest;

// The commands in the order the plug-in binds them.
const std::vector<std::string> kTable = {
    "MOM_box_message",   "MOM_ui_message",        "MOM_abort_ex",      "MOM_info_message",
    "MOM_ui_filebox",    "MOM_uc1600",            "MOM_uc1609",        "MOM_assign_attribute",
    "MOM_set_attribute_program", "MOM_ask_part_attr", "MOM_call_grip", "MOM_get_ini_string",
    "MOM_remove_file_ex", "MOM_deletefile",       "MOM_createfile",    "MOM_run_exec",
    "MOM_shell_exec",    "MOM_about_stub"};

class Frame : public HostTest {};

TEST_P(Frame, BindsEveryCommandInTableOrder) {
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(host().translator().bound(), kTable);
    EXPECT_EQ(host().syslog(), (std::vector<std::string>{"- >tarvex start \n", "- >tarvex end \n"}));
    EXPECT_EQ(host().count_calls("UF_initialize"), 1u);
    EXPECT_EQ(host().count_calls("UF_terminate"), 1u);
    EXPECT_TRUE(host().status_lines().empty());
}

TEST_P(Frame, FailedStartRegistersNothingAndShowsWhy) {
    host().set_fail_text(77, "licence server not reachable");
    host().fail_call("UF_initialize", 77);
    int retcode = -1;
    auto output = tarvex_test::capture([&] { retcode = load(); });
    EXPECT_EQ(retcode, 0);
    EXPECT_TRUE(host().translator().bound().empty());
    EXPECT_EQ(host().count_calls("UF_terminate"), 0u);
    EXPECT_EQ(host().status_lines(), std::vector<std::string>{"licence server not reachable"});
    EXPECT_EQ(output.err, "licence server not reachable\n");
    EXPECT_EQ(output.out, "");
}

TEST_P(Frame, FailureWithoutHostTextShowsTheCode) {
    host().fail_call("UF_initialize", 4242);
    auto output = tarvex_test::capture([&] { EXPECT_EQ(load(), 0); });
    EXPECT_EQ(host().status_lines(), std::vector<std::string>{"Open API error 4242"});
    EXPECT_EQ(output.err, "Open API error 4242\n");
}

TEST_P(Frame, FailedEndIsShownButCommandsStayBound) {
    host().set_fail_text(78, "session already closed");
    host().fail_call("UF_terminate", 78);
    auto output = tarvex_test::capture([&] { EXPECT_EQ(load(), 0); });
    EXPECT_EQ(host().translator().bound(), kTable);
    EXPECT_EQ(host().status_lines(), std::vector<std::string>{"session already closed"});
    EXPECT_EQ(output.err, "session already closed\n");
}

TEST_P(Frame, NoInterpreterReportsTheCallAndBindsNothing) {
    host().set_fail_text(9, "no interpreter in param");
    host().fail_call("UF_MOM_ask_interp_from_param", 9);
    auto output = tarvex_test::capture([&] { EXPECT_EQ(load(), 0); });
    EXPECT_EQ(output.out, tarvex_test::report_lines("UF_MOM_ask_interp_from_param ( param, &interp )", 9,
                                                        "no interpreter in param"));
    EXPECT_EQ(host().syslog(),
              std::vector<std::string>{
                  "Don't get the TCL interpreter id from the ufusr 'param'\nDLL terminated...\n"});
    EXPECT_EQ(host().count_calls("UF_MOM_ask_mom"), 0u);
    EXPECT_TRUE(host().translator().bound().empty());
    // The Open API is still closed again.
    EXPECT_EQ(host().count_calls("UF_terminate"), 1u);
}

TEST_P(Frame, NoMomIdReportsTheCodeWhenTheHostHasNoText) {
    host().fail_call("UF_MOM_ask_mom", 31337);
    auto output = tarvex_test::capture([&] { EXPECT_EQ(load(), 0); });
    EXPECT_EQ(output.out, tarvex_test::report_lines("UF_MOM_ask_mom (param, &mom)", 31337, ""));
    EXPECT_EQ(host().syslog(),
              std::vector<std::string>{"Don't get the MOM id from the ufusr param\nDLL terminated...\n"});
    EXPECT_TRUE(host().translator().bound().empty());
}

TEST_P(Frame, FailedBindingOfTheFirstCommandSparesTheRest) {
    host().fail_call("UF_MOM_extend_xlator", 5, /*once=*/true);
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(host().syslog(), (std::vector<std::string>{
                                   "- >tarvex start \n",
                                   "Don't get UF_MOM_extend_xlator ... MOM_box_message \n",
                                   "- >tarvex end \n"}));
    std::vector<std::string> rest(kTable.begin() + 1, kTable.end());
    EXPECT_EQ(host().translator().bound(), rest);
}

TEST_P(Frame, EveryFailedBindingNamesItsCommand) {
    host().fail_call("UF_MOM_extend_xlator", 5);
    EXPECT_EQ(load(), 0);
    std::vector<std::string> expected{"- >tarvex start \n"};
    for (const auto &name : kTable) expected.push_back("Don't get UF_MOM_extend_xlator ... " + name + " \n");
    expected.push_back("- >tarvex end \n");
    EXPECT_EQ(host().syslog(), expected);
    EXPECT_TRUE(host().translator().bound().empty());
}

TEST_P(Frame, SecondStartBindsEverythingAgain) {
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(host().count_calls("UF_MOM_extend_xlator"), 2 * kTable.size());
    EXPECT_EQ(host().translator().bound(), kTable);
}

TEST_P(Frame, AsksToStayLoaded) {
    EXPECT_EQ(plugin_->ask_unload(), 2);
    load();
    EXPECT_EQ(plugin_->ask_unload(), 2);
}

TEST_P(Frame, ResultTextOutlivesItsHandler) {
    load();
    auto result = call({"MOM_box_message", "hello"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.result, "0");
    EXPECT_EQ(result.error_line, 0);
    // A script sees the string result the handler left in the record.
    auto script = host().translator().eval("MOM_box_message one two");
    EXPECT_EQ(script.result, "0");
}

TEST_P(Frame, HandlerWithoutArgumentsSeesNone) {
    load();
    host().clear_calls();
    auto result = call({"MOM_box_message"});
    EXPECT_EQ(result.result, "0");
    EXPECT_EQ(host().count_calls("uc1601"), 0u);
}

TARVEX_ALL_TRANSLATORS(Frame);

}  // namespace
