// MOM_ask_part_attr: the identity of the current part, in native and in
// managed mode.
#include <algorithm>

#include "cam_support.h"

namespace {

using emuhost::ManagedName;
using emuhost::PartModel;
using tarvex_test::CamTest;
using tarvex_test::capture;
using tarvex_test::report_lines;

const std::vector<std::string> kVariables = {"ask_part_number",    "ask_part_revision", "ask_part_file_type",
                                             "ask_part_file_name", "ask_part_name",     "ask_part_desc"};

class PartIdentity : public CamTest {
protected:
    void SetUp() override {
        CamTest::SetUp();
        part().load_text(R"({
          "parts": [
            {"tag": 1, "file_name": "C:\\parts\\bracket.prt", "description": "Bracket, left hand"},
            {"tag": 2, "file_name": "@db:100-2245/B/nc/F", "description": "not asked in managed mode"}
          ],
          "display_part": 1,
          "work_part": 2,
          "database": [
            {"number": "100-1000", "name": "BASE", "description": "Base plate"},
            {"number": "100-2245", "name": "BRACKET LH", "description": "Bracket from the database"}
          ]
        })", "identity part");
        for (const auto &name : kVariables) host().set_variable(name, "stale");
    }

    emuhost::CallResult ask() { return call({"MOM_ask_part_attr", "ignored"}); }

    std::vector<std::string> variables() {
        std::vector<std::string> out;
        for (const auto &name : kVariables) out.push_back(host().variable(name).value_or("<unset>"));
        return out;
    }
};

TEST_P(PartIdentity, NativeModeDescribesTheDisplayedPart) {
    auto result = ask();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.result, "bracket.prt");
    EXPECT_EQ(result.error_line, 0);
    EXPECT_EQ(variables(), (std::vector<std::string>{"", "", "", "", "", "Bracket, left hand"}));
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_EQ(host().count_calls("UF_ASSEM_ask_work_part"), 0u);
}

TEST_P(PartIdentity, NativeResultIsTheNameAfterTheLastBackslash) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\parts\\fixtures\\vice.prt", "vice.prt"},
        {"bracket.prt", "bracket.prt"},
        {"/home/cam/parts/bracket.prt", "/home/cam/parts/bracket.prt"},
        {"C:\\parts\\", ""},
    };
    tag_t tag = 100;
    for (const auto &each : cases) {
        part().add_part(++tag, each.first);
        part().set_display_part(tag);
        EXPECT_EQ(ask().result, each.second) << each.first;
    }
}

TEST_P(PartIdentity, ManagedModeDecodesTheWorkPartAndAsksTheDatabase) {
    part().set_managed(true);
    auto result = ask();
    EXPECT_EQ(result.result, "F_B");
    EXPECT_EQ(variables(),
              (std::vector<std::string>{"100-2245", "B", "nc", "F", "BRACKET LH", "Bracket from the database"}));
    EXPECT_EQ(host().syslog(),
              std::vector<std::string>{" mom_ask_part_attr - Encoding UG/Manager part filename...\n"});
    // The log line comes before the decode.
    const auto &calls = host().calls();
    auto logged = std::find(calls.begin(), calls.end(), "UF_print_syslog");
    auto decoded = std::find(calls.begin(), calls.end(), "UF_UGMGR_decode_part_filename");
    EXPECT_LT(logged, decoded);
    EXPECT_EQ(host().count_calls("UF_PART_ask_display_part"), 0u);
    EXPECT_EQ(host().count_calls("UF_PART_ask_description"), 0u);
}

TEST_P(PartIdentity, ManagedMasterPartDecodesWithItsNumberAsFileName) {
    part().set_managed(true);
    part().set_display_part(0);
    part().add_part(3, PartModel::encode_managed_name(ManagedName{"100-1000", "A", "", ""}));
    part().set_work_part(3);
    EXPECT_EQ(ask().result, "100-1000_A");
    EXPECT_EQ(variables(), (std::vector<std::string>{"100-1000", "A", "master", "100-1000", "BASE", "Base plate"}));
}

TEST_P(PartIdentity, UndecodableNameInManagedModeLeavesEmptyParts) {
    part().set_managed(true);
    part().set_work_part(1);  // a native file name
    std::string out = capture([&] { EXPECT_EQ(ask().result, "_"); }).out;
    EXPECT_EQ(out,
              report_lines("UF_UGMGR_decode_part_filename( work_part_name, part_number, part_revision, "
                           "part_file_type, part_file_name )",
                           emuhost::kErrInvalidArgument, "Invalid argument") +
                  report_lines("UF_UGMGR_ask_part_tag( part_number, &db_tag )", emuhost::kErrNotFound,
                               "The requested object, variable or file was not found") +
                  report_lines("UF_UGMGR_ask_part_name_desc( db_tag, part_name, part_desc )",
                               emuhost::kErrInvalidTag, "Invalid object tag"));
    EXPECT_EQ(variables(), std::vector<std::string>(6, ""));
}

TEST_P(PartIdentity, FailedModeQueryFallsBackToNativeMode) {
    part().set_managed(true);
    host().fail_call("UF_is_ugmanager_active", 71);
    std::string out = capture([&] { EXPECT_EQ(ask().result, "bracket.prt"); }).out;
    EXPECT_EQ(out, report_lines("UF_is_ugmanager_active ( &is_active )", 71, ""));
}

TEST_P(PartIdentity, WithoutAPartNothingIsSet) {
    part().set_display_part(0);
    std::string out = capture([&] { EXPECT_EQ(ask().result, ""); }).out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(variables(), std::vector<std::string>(6, "stale"));
    EXPECT_EQ(host().count_calls("UF_PART_ask_part_name"), 0u);
}

TEST_P(PartIdentity, FailedNameQueryIsReportedAndTheResultEmpty) {
    host().fail_call("UF_PART_ask_part_name", 72);
    std::string out = capture([&] { EXPECT_EQ(ask().result, ""); }).out;
    EXPECT_EQ(out, report_lines("UF_PART_ask_part_name( work_part_tag, work_part_name )", 72, ""));
    EXPECT_EQ(host().variable("ask_part_desc"), "Bracket, left hand");
}

// The host may hand the description back in our field or in memory of its
// own; either way it is published, cut to the field, and host memory is
// given back (the fixture fails on a leak).
TEST_P(PartIdentity, DescriptionArrivesEitherWay) {
    const std::string long_text(300, 'd');
    for (bool in_place : {false, true}) {
        SCOPED_TRACE(in_place ? "in place" : "host memory");
        part().set_description_in_place(in_place);
        ask();
        EXPECT_EQ(host().variable("ask_part_desc"), "Bracket, left hand");
        part().add_part(in_place ? 9 : 8, "long.prt", long_text);
        part().set_display_part(in_place ? 9 : 8);
        EXPECT_EQ(ask().result, "long.prt");
        EXPECT_EQ(host().variable("ask_part_desc"), long_text.substr(0, 240));
        part().set_display_part(1);
    }
    EXPECT_EQ(host().count_calls("UF_free"), 2u);
}

TEST_P(PartIdentity, FailedDescriptionQueryPublishesAnEmptyDescription) {
    host().fail_call("UF_PART_ask_description", 73);
    std::string out = capture([&] { ask(); }).out;
    EXPECT_EQ(out, report_lines("UF_PART_ask_description(work_part_tag,&p_part_desc)", 73, ""));
    EXPECT_EQ(host().variable("ask_part_desc"), "");
}

TEST_P(PartIdentity, ModesDescribeTheirOwnPartAndOverwriteEveryVariable) {
    part().set_managed(true);
    EXPECT_EQ(ask().result, "F_B");
    part().set_managed(false);
    EXPECT_EQ(ask().result, "bracket.prt");
    EXPECT_EQ(variables(), (std::vector<std::string>{"", "", "", "", "", "Bracket, left hand"}));
}

TARVEX_ALL_TRANSLATORS(PartIdentity);

}  // namespace
