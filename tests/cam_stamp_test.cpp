// MOM_set_attribute_program: the four OPU_FILE_UP_ attributes of a run on
// the selected objects or on the program group of the given name.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "cam_support.h"

namespace {

using emuhost::AttributeType;
using emuhost::HostTime;
using tarvex_test::CamTest;
using tarvex_test::capture;
using tarvex_test::report_lines;

const std::vector<std::string> kStampTitles = {"OPU_FILE_UP_NAME", "OPU_FILE_UP_CREATE", "OPU_FILE_UP_TIME",
                                               "OPU_FILE_UP_MACHINE"};

class StampProgram : public CamTest {
protected:
    void SetUp() override {
        CamTest::SetUp();
        set_variables("P1");
    }

    void set_variables(const std::string &group) {
        host().set_variable("group_name", group);
        host().set_variable("operation_name", "OP1");
        host().set_variable("output_file_basename", "PART");
        host().set_variable("output_file_suffix", "ptp");
        host().set_variable("machine_time", "12.50");
        host().set_variable("machine_name", "DMU50");
    }

    emuhost::CallResult stamp(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), "MOM_set_attribute_program");
        return call(arguments);
    }

    // The tags that carry a stamp, in part order.
    std::vector<tag_t> stamped() {
        std::vector<tag_t> out;
        for (const auto &object : part().objects())
            if (part().attribute(object.tag, "OPU_FILE_UP_NAME")) out.push_back(object.tag);
        return out;
    }

    void expect_stamp(tag_t tag, const std::string &file, const std::string &time, const std::string &machine) {
        EXPECT_EQ(titles(tag), kStampTitles);
        EXPECT_EQ(text_of(tag, "OPU_FILE_UP_NAME"), file);
        EXPECT_TRUE(emuhost::is_valid(time_of(tag, "OPU_FILE_UP_CREATE")));
        EXPECT_EQ(text_of(tag, "OPU_FILE_UP_TIME"), time);
        EXPECT_EQ(text_of(tag, "OPU_FILE_UP_MACHINE"), machine);
    }
};

TEST_P(StampProgram, VariableModeStampsTheNamedMemberOfTheProgramRoot) {
    auto result = stamp();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.result, "");  // no result text
    EXPECT_EQ(stamped(), std::vector<tag_t>{21});
    expect_stamp(21, "PART.ptp", "12.50", "DMU50");
    EXPECT_EQ(time_of(21, "OPU_FILE_UP_CREATE"), tarvex_test::kFixedTime);
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(StampProgram, UpToThreeArgumentsAreIgnored) {
    for (const auto &arguments : std::vector<std::vector<std::string>>{
             {"P2"}, {"P2", "x.nc"}, {"P2", "x.nc", "1.0"}}) {
        part().load_text(tarvex_test::kCamPart, "cam part");
        stamp(arguments);
        EXPECT_EQ(stamped(), std::vector<tag_t>{21});
    }
}

TEST_P(StampProgram, ArgumentModeTakesTheTextsUnchangedAndIgnoresTheSelection) {
    part().select({31, 32});
    stamp({"P2", "out.nc", "3:10", "HERMLE C42", "ignored"});
    EXPECT_EQ(stamped(), std::vector<tag_t>{22});
    expect_stamp(22, "out.nc", "3:10", "HERMLE C42");
    EXPECT_EQ(host().count_calls("UF_UI_ONT_ask_selected_nodes"), 0u);
    EXPECT_EQ(host().count_calls("UF_MOM_ask_string"), 0u);
}

TEST_P(StampProgram, SelectionStampsEverySelectedObjectWithItsOwnTime) {
    int ticks = 0;
    part().set_clock([&ticks] { return HostTime{20240315, 140000 + ticks++}; });
    part().select({32, 23, 50});
    stamp();
    EXPECT_EQ(stamped(), (std::vector<tag_t>{23, 32, 50}));
    const tag_t order[] = {32, 23, 50};
    for (int i = 0; i < 3; ++i) {
        expect_stamp(order[i], "PART.ptp", "12.50", "DMU50");
        EXPECT_EQ(time_of(order[i], "OPU_FILE_UP_CREATE"), (HostTime{20240315, 140000 + i}));
    }
    EXPECT_EQ(host().count_calls("UF_SETUP_ask_setup"), 0u);
}

TEST_P(StampProgram, OutputFileJoinsBaseNameAndSuffixWithAFullStop) {
    host().set_variable("output_file_suffix", "");
    stamp();
    EXPECT_EQ(text_of(21, "OPU_FILE_UP_NAME"), "PART.");
}

TEST_P(StampProgram, FindsTheProgramByName) {
    struct Case {
        std::string group;
        std::vector<tag_t> stamped;
    };
    const std::vector<Case> cases = {
        {"P1", {21}},          // first of two members named P1
        {"P2", {22}},
        {"p1", {}},            // names compare case-sensitively
        {"NESTED", {23}},      // not a direct member: found by the part-wide search
        {"FIXTURE", {50}},     // which yields objects of any kind
        {"OP2", {32}},
        {"NOTHING", {}},
        {"", {}},
    };
    for (const auto &each : cases) {
        SCOPED_TRACE(each.group);
        part().load_text(tarvex_test::kCamPart, "cam part");
        host().set_variable("group_name", each.group);
        host().clear_calls();
        EXPECT_EQ(capture([&] { stamp(); }).out, "");
        EXPECT_EQ(stamped(), each.stamped);
    }
    // An empty name matches no member, but the part-wide search is still asked.
    EXPECT_EQ(host().count_calls("UF_OBJ_ask_name"), 1u);
    EXPECT_EQ(host().count_calls("UF_OBJ_cycle_by_name"), 1u);
}

TEST_P(StampProgram, MachineNameIsOptionalTheOtherVariablesAreNot) {
    host().unset_variable("machine_name");
    stamp();
    expect_stamp(21, "PART.ptp", "12.50", "");

    for (const char *name : {"group_name", "operation_name", "output_file_basename", "output_file_suffix",
                             "machine_time"}) {
        SCOPED_TRACE(name);
        part().load_text(tarvex_test::kCamPart, "cam part");
        part().select({32});
        set_variables("P1");
        host().unset_variable(name);
        host().clear_calls();
        EXPECT_EQ(capture([&] { EXPECT_EQ(stamp().code, 0); }).out, "");
        EXPECT_TRUE(nothing_assigned());
        EXPECT_EQ(host().count_calls("UF_UI_ONT_ask_selected_nodes"), 0u);
        EXPECT_TRUE(host().syslog().empty());
    }
}

TEST_P(StampProgram, OverlongTextsAreRefusedWithOneLogLine) {
    struct Case {
        std::string variable, value;
        std::vector<std::string> arguments;
        std::string log;
    };
    const std::string head = " mom_set_attribute_program - ";
    const std::vector<Case> cases = {
        {"group_name", std::string(31, 'G'), {}, "'group_name' longer than 30 characters, nothing stamped\n"},
        {"output_file_basename", std::string(129, 'B'), {}, "output file name longer than 132 characters, nothing stamped\n"},
        {"machine_time", std::string(133, '9'), {}, "'machine_time' longer than 132 characters, nothing stamped\n"},
        {"machine_name", std::string(133, 'M'), {}, "'machine_name' longer than 132 characters, nothing stamped\n"},
        {"", "", {std::string(31, 'P'), "f", "t", "m"}, "program name longer than 30 characters, nothing stamped\n"},
        {"", "", {"P1", std::string(133, 'f'), "t", "m"}, "output file name longer than 132 characters, nothing stamped\n"},
        {"", "", {"P1", "f", std::string(133, 't'), "m"}, "machine time longer than 132 characters, nothing stamped\n"},
        {"", "", {"P1", "f", "t", std::string(133, 'm')}, "machine name longer than 132 characters, nothing stamped\n"},
    };
    for (const auto &each : cases) {
        SCOPED_TRACE(each.log);
        part().load_text(tarvex_test::kCamPart, "cam part");
        set_variables("P1");
        if (!each.variable.empty()) host().set_variable(each.variable, each.value);
        host().clear_logs();
        stamp(each.arguments);
        EXPECT_TRUE(nothing_assigned());
        EXPECT_EQ(host().syslog(), std::vector<std::string>{head + each.log});
    }
}

TEST_P(StampProgram, TextsAtTheirLimitsAreTakenWhole) {
    const std::string group(30, 'G'), basename(127, 'B'), suffix("ptp"), time(132, '9'), machine(132, 'M');
    part().object(24)->name = group;
    host().set_variable("group_name", group);
    host().set_variable("output_file_basename", basename);
    host().set_variable("output_file_suffix", "ptp");
    host().set_variable("machine_time", time);
    host().set_variable("machine_name", machine);
    stamp();
    expect_stamp(24, basename + ".ptp", time, machine);

    // The output file text at exactly 132 characters, in both modes.
    part().load_text(tarvex_test::kCamPart, "cam part");
    host().set_variable("group_name", "P2");
    host().set_variable("output_file_basename", std::string(128, 'B'));
    stamp();
    EXPECT_EQ(text_of(22, "OPU_FILE_UP_NAME"), std::string(128, 'B') + ".ptp");
    stamp({"P1", std::string(132, 'f'), "t", "m"});
    EXPECT_EQ(text_of(21, "OPU_FILE_UP_NAME"), std::string(132, 'f'));
    EXPECT_TRUE(host().syslog().empty());
}

TEST_P(StampProgram, FailedAssignmentIsReportedAndTheOtherRowsStillWritten) {
    host().set_fail_text(61, "attribute is locked");
    host().fail_call("UF_ATTR_assign", 61, /*once=*/true);
    std::string out = capture([&] { stamp(); }).out;
    EXPECT_EQ(out, report_lines("UF_ATTR_assign(prg, title[0], value)", 61, "attribute is locked"));
    EXPECT_EQ(titles(21), (std::vector<std::string>{"OPU_FILE_UP_CREATE", "OPU_FILE_UP_TIME",
                                                    "OPU_FILE_UP_MACHINE"}));
}

TEST_P(StampProgram, FailedClockIsReportedAndTheRecordStillOffered) {
    host().fail_call("uc4583", 62);
    std::string out = capture([&] { stamp(); }).out;
    EXPECT_EQ(out, report_lines("uc4583(\"\", \"\", value.value.time)", 62, "") +
                       report_lines("UF_ATTR_assign(prg, title[1], value)", emuhost::kErrInvalidArgument,
                                    "Invalid argument"));
    EXPECT_EQ(titles(21), (std::vector<std::string>{"OPU_FILE_UP_NAME", "OPU_FILE_UP_TIME",
                                                    "OPU_FILE_UP_MACHINE"}));
}

TEST_P(StampProgram, WithoutSetupTheSearchFallsBackToTheWholePart) {
    host().fail_call("UF_SETUP_ask_setup", 63);
    std::string out = capture([&] { stamp(); }).out;
    EXPECT_EQ(out, report_lines("UF_SETUP_ask_setup(&setup_tag)", 63, "") +
                       report_lines("UF_SETUP_ask_program_root(setup_tag, &prog_grp)", emuhost::kErrInvalidTag,
                                    "Invalid object tag") +
                       report_lines("UF_NCGROUP_ask_member_list(prog_grp, &count_p, &prog_list)",
                                    emuhost::kErrInvalidTag, "Invalid object tag"));
    // The part-wide search finds the first P1 in part order.
    EXPECT_EQ(stamped(), std::vector<tag_t>{21});
}

TEST_P(StampProgram, FailedSelectionQueryIsReportedAndTheNamedGroupStamped) {
    part().select({32});
    host().fail_call("UF_UI_ONT_ask_selected_nodes", 64);
    std::string out = capture([&] { stamp(); }).out;
    EXPECT_EQ(out, report_lines("UF_UI_ONT_ask_selected_nodes(&obj_count, &tags)", 64, ""));
    EXPECT_EQ(stamped(), std::vector<tag_t>{21});
}

TEST_P(StampProgram, ExceptionWhileReadingVariablesEndsTheCommandQuietly) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    host().throw_in_call("UF_MOM_ask_string");
    emuhost::CallResult result;
    EXPECT_NO_THROW(result = stamp());
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(nothing_assigned());
    EXPECT_EQ(host().count_calls("UF_UI_ONT_ask_selected_nodes"), 0u);
#else
    GTEST_SKIP() << "the 32-bit plug-in carries no guard";
#endif
}

// The example part, stamped in variable mode and saved, carries the stamp
// on the named group in the file.
TEST_P(StampProgram, StampOfTheExamplePartIsSavedWithItsTypes) {
    part().load(std::string(TARVEX_SOURCE_DIR) + "/examples/part.json");
    part().fix_clock(HostTime{20250102, 30405});
    set_variables("PROGRAM_2");
    stamp();

    auto saved = std::filesystem::temp_directory_path() /
                 ("tarvex_stamp_" + tarvex_test::translator_name({GetParam(), 0}) + ".json");
    part().save(saved.string());
    std::ifstream in(saved);
    auto doc = nlohmann::json::parse(in);
    in.close();
    std::filesystem::remove(saved);

    const nlohmann::json *group = nullptr;
    for (const auto &object : doc["objects"])
        if (object["name"] == "PROGRAM_2") group = &object;
    ASSERT_NE(group, nullptr);
    auto expected = nlohmann::json::parse(R"([
        {"title": "OPU_FILE_UP_NAME", "type": "string", "value": "PART.ptp"},
        {"title": "OPU_FILE_UP_CREATE", "type": "time", "value": "2025-01-02T03:04:05"},
        {"title": "OPU_FILE_UP_TIME", "type": "string", "value": "12.50"},
        {"title": "OPU_FILE_UP_MACHINE", "type": "string", "value": "DMU50"}])");
    EXPECT_EQ((*group)["attributes"], expected);
    for (const auto &object : doc["objects"]) {
        if (object["name"] != "PROGRAM_2" && object["name"] != "FACE_MILLING") {
            EXPECT_TRUE(object["attributes"].empty()) << object["name"];
        }
    }
}

TARVEX_ALL_TRANSLATORS(StampProgram);

}  // namespace
