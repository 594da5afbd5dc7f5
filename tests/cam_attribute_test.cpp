// MOM_assign_attribute: one attribute onto the operation being
// post-processed or onto its program group.
#include "cam_support.h"

namespace {

using emuhost::AttributeType;
using tarvex_test::CamTest;
using tarvex_test::capture;
using tarvex_test::report_lines;

class AssignAttribute : public CamTest {
protected:
    emuhost::CallResult assign(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "MOM_assign_attribute");
        return call(arguments);
    }
};

struct Written {
    std::vector<std::string> arguments;
    tag_t target;
    AttributeType type;
    std::string text;
};

TEST_P(AssignAttribute, WritesTheValueOntoTheChosenTarget) {
    const std::vector<Written> cases = {
        {{"T"}, 31, AttributeType::String, ""},
        {{"T", "hello world"}, 31, AttributeType::String, "hello world"},
        {{"T", "NULL"}, 31, AttributeType::Null, ""},
        {{"T", "null"}, 31, AttributeType::String, "null"},
        {{"T", "TIME"}, 31, AttributeType::Time, ""},
        {{"T", "Time"}, 31, AttributeType::String, "Time"},
        {{"T", "x", "PROGRAM"}, 21, AttributeType::String, "x"},
        {{"T", "NULL", "PROGRAM", "ignored"}, 21, AttributeType::Null, ""},
        {{"T", "x", "OPER"}, 31, AttributeType::String, "x"},
        {{"T", "x", "program"}, 31, AttributeType::String, "x"},
        {{"T", "x", "GROUP"}, 31, AttributeType::String, "x"},
    };
    for (const auto &written : cases) {
        SCOPED_TRACE(::testing::PrintToString(written.arguments));
        part().load_text(tarvex_test::kCamPart, "cam part");
        auto result = assign(written.arguments);
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.result, "0");
        const emuhost::Attribute *found = part().attribute(written.target, "T");
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->type, written.type);
        EXPECT_EQ(found->text, written.text);
        if (written.type == AttributeType::Time) {
            EXPECT_EQ(found->time, tarvex_test::kFixedTime);
        }
        tag_t other = written.target == 31 ? 21 : 31;
        EXPECT_EQ(part().attribute(other, "T"), nullptr);
    }
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(AssignAttribute, ProgramForAnOperationWithoutGroupWritesOntoTheOperation) {
    part().set_current_operation(33);
    EXPECT_EQ(assign({"T", "x", "PROGRAM"}).result, "0");
    EXPECT_EQ(text_of(33, "T"), "x");
}

TEST_P(AssignAttribute, ObjectFoundFirstByNameIsTheTargetWhateverItsKind) {
    // Without a named operation the name comes from operation_name; P1 is
    // a program group, which has no program group of its own.
    part().set_current_operation(0);
    host().set_variable("operation_name", "P1");
    EXPECT_EQ(assign({"T", "x", "PROGRAM"}).result, "0");
    EXPECT_EQ(text_of(21, "T"), "x");
    EXPECT_EQ(text_of(24, "T"), "<absent>");
}

TEST_P(AssignAttribute, OperationNameIsReadOnlyWhenTheHostNamesNoOperation) {
    host().set_variable("operation_name", "OP2");
    EXPECT_EQ(assign({"T", "x"}).result, "0");
    EXPECT_EQ(text_of(31, "T"), "x");
    EXPECT_EQ(host().count_calls("UF_MOM_ask_string"), 0u);

    part().set_current_operation(0);
    EXPECT_EQ(assign({"U", "y"}).result, "0");
    EXPECT_EQ(text_of(32, "U"), "y");
}

TEST_P(AssignAttribute, SameTitleReplacesTheAttributeInItsPlace) {
    assign({"A", "1"});
    assign({"B", "2"});
    assign({"A", "NULL"});
    EXPECT_EQ(titles(31), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(text_of(31, "A"), "<not a string>");
}

struct Refusal {
    std::vector<std::string> arguments;
    std::string operation_name;  // "-": unset; the host names no operation
    std::string log;
};

TEST_P(AssignAttribute, FailuresAssignNothingAndLogOneLine) {
    const std::string oper_set = "";
    const std::vector<Refusal> cases = {
        {{}, oper_set, " mom_create_attribute - wrong number arguments\n"},
        {{"T"}, "-", " mom_create_attribute - wrong 'operation_name'\n"},
        {{"T"}, "NO_SUCH_OP", " mom_create_attribute - wrong 'operation_name' has NULL_TAG\n"},
        {{"T", "x", "PROGRAM"}, "NO_SUCH_OP", " mom_create_attribute - wrong 'operation_name' has NULL_TAG\n"},
        {{std::string(51, 'T')}, oper_set,
         " mom_create_attribute - title longer than 50 characters, nothing assigned\n"},
        {{"T", std::string(133, 'v')}, oper_set,
         " mom_create_attribute - value longer than 132 characters, nothing assigned\n"},
        {{"T", "v", std::string(134, 'K')}, oper_set,
         " mom_create_attribute - kind longer than 133 characters, nothing assigned\n"},
        {{"T"}, std::string(134, 'O'),
         " mom_create_attribute - 'operation_name' longer than 133 characters, nothing assigned\n"},
    };
    for (const auto &refusal : cases) {
        SCOPED_TRACE(::testing::PrintToString(refusal.arguments) + " / " + refusal.operation_name);
        host().clear_logs();
        host().unset_variable("operation_name");
        part().set_current_operation(refusal.operation_name.empty() ? 31 : 0);
        if (!refusal.operation_name.empty() && refusal.operation_name != "-")
            host().set_variable("operation_name", refusal.operation_name);
        std::string out = capture([&] {
            auto result = assign(refusal.arguments);
            EXPECT_EQ(result.code, 0);
            EXPECT_EQ(result.result, "1");
            EXPECT_EQ(result.error_line, 0);
        }).out;
        EXPECT_EQ(out, "");
        EXPECT_EQ(host().syslog(), std::vector<std::string>{refusal.log});
        EXPECT_TRUE(nothing_assigned());
    }
}

TEST_P(AssignAttribute, TextsAtTheirLimitsAreTakenWhole) {
    std::string title(50, 'T'), value(132, 'v');
    EXPECT_EQ(assign({title, value, std::string(133, 'K')}).result, "0");
    EXPECT_EQ(text_of(31, title), value);

    // An operation named with exactly 133 characters, read from
    // operation_name when the host names no current operation.
    const std::string name(133, 'O');
    part().object(32)->name = name;
    part().set_current_operation(0);
    host().set_variable("operation_name", name);
    host().clear_logs();
    EXPECT_EQ(assign({"AT_LIMIT", "yes"}).result, "0");
    EXPECT_EQ(text_of(32, "AT_LIMIT"), "yes");
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(AssignAttribute, FailedSearchByNameLogsAndAssignsNothing) {
    host().fail_call("UF_OBJ_cycle_by_name", 5);
    EXPECT_EQ(assign({"T"}).result, "1");
    EXPECT_EQ(host().syslog(),
              std::vector<std::string>{" mom_create_attribute - wrong assign attribute for 'operation_name'\n"});
    EXPECT_TRUE(nothing_assigned());
}

TEST_P(AssignAttribute, FailedAssignmentIsReportedAndStillAnswersZero) {
    host().set_fail_text(61, "attribute is locked");
    host().fail_call("UF_ATTR_assign", 61);
    struct Case {
        std::string value, call_text;
    };
    for (const Case &each : {Case{"text", "UF_ATTR_assign(oper, title , value)"},
                             Case{"NULL", "UF_ATTR_assign(oper, title, value)"},
                             Case{"TIME", "UF_ATTR_assign(oper, title, value)"}}) {
        emuhost::CallResult result;
        std::string out = capture([&] { result = assign({"T", each.value}); }).out;
        EXPECT_EQ(result.result, "0");
        EXPECT_EQ(out, report_lines(each.call_text, 61, "attribute is locked"));
    }
    EXPECT_TRUE(nothing_assigned());
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(AssignAttribute, FailedClockIsReportedAndTheRecordStillOffered) {
    host().fail_call("uc4583", 62);
    std::string out = capture([&] { EXPECT_EQ(assign({"T", "TIME"}).result, "0"); }).out;
    // The host refuses the time record that uc4583 never filled.
    EXPECT_EQ(out, report_lines("uc4583(\"\", \"\", value.value.time)", 62, "") +
                       report_lines("UF_ATTR_assign(oper, title, value)", emuhost::kErrInvalidArgument,
                                    "Invalid argument"));
    EXPECT_EQ(host().count_calls("UF_ATTR_assign"), 1u);
}

TARVEX_ALL_TRANSLATORS(AssignAttribute);

}  // namespace
