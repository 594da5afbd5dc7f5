// The emulated part: the part file, host times, managed names and the
// Open API functions that answer from the model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "emuhost/posting.h"
#include "emuhost/session.h"

namespace {

using emuhost::HostTime;
using emuhost::ManagedName;
using emuhost::PartFileError;
using emuhost::PartModel;
using emuhost::session;

std::string example_path() { return std::string(TARVEX_SOURCE_DIR) + "/examples/part.json"; }

class PartModelTest : public ::testing::Test {
protected:
    void SetUp() override { session().reset(); }
    void TearDown() override {
        EXPECT_EQ(session().outstanding_allocations(), 0u);
        EXPECT_TRUE(session().release_errors().empty());
        session().reset();
    }
    PartModel &part() { return session().part(); }

    // The message load_text throws for `text`, or "" when it loads.
    std::string load_error(const std::string &text) {
        try {
            part().load_text(text, "p.json");
        } catch (const PartFileError &error) {
            return error.what();
        }
        return "";
    }
};

TEST_F(PartModelTest, ExampleRoundTripsThroughItsText) {
    part().load(example_path());
    EXPECT_EQ(part().program_root(), 20u);
    EXPECT_EQ(part().group_of(34), 23u);
    EXPECT_EQ(part().current_operation(), 31u);
    ASSERT_NE(part().attribute(31, "CHECKED"), nullptr);
    EXPECT_EQ(part().attribute(31, "CHECKED")->time, (HostTime{20240315, 143005}));
    std::string first = part().to_text();
    part().load_text(first, "saved");
    EXPECT_EQ(part().to_text(), first);
}

TEST_F(PartModelTest, RefusesBrokenPartFilesNamingFileLineAndField) {
    struct Case {
        std::string text, message;
    };
    const std::string op = R"({"tag": 1, "kind": "operation", "name": "OP"})";
    const std::string group = R"({"tag": 2, "kind": "program_group", "name": "G", "members": [1]})";
    const std::vector<Case> cases = {
        {"{\n  \"objects\": [\n    {\"tag\": 1,, }\n  ]\n}",
         "part file 'p.json', line 3, column 15: syntax error while parsing object key"},
        {"[]", "part file 'p.json': the part file must hold one JSON object"},
        {R"({"object": []})", "part file 'p.json': object: unknown field"},
        {R"({"objects": [{"tag": 1, "kind": "operation", "nmae": "X"}]})", "objects[0].nmae (tag 1): unknown field"},
        {R"({"objects": [{"tag": 0, "kind": "operation"}]})", "objects[0].tag: must be a tag"},
        {R"({"objects": [{"tag": -4, "kind": "operation"}]})", "objects[0].tag: must be a tag"},
        {R"({"objects": [{"tag": 4294967296, "kind": "operation"}]})", "objects[0].tag: must be a tag"},
        {R"({"objects": [{"tag": 1.5, "kind": "operation"}]})", "objects[0].tag: must be a tag"},
        {R"({"objects": [{"kind": "operation"}]})", "objects[0].tag: missing"},
        {R"({"objects": [{"tag": 1, "kind": "tool"}]})", "objects[0].kind (tag 1): \"tool\" is none of"},
        {R"({"objects": [{"tag": 1, "kind": "other", "name": "ABCDEFGHIJKLMNOPQRSTUVWXYZ12345"}]})",
         "objects[0] (tag 1, \"ABCDEFGHIJKLMNOPQRSTUVWXYZ12345\"): name \"ABCDEFGHIJKLMNOPQRSTUVWXYZ12345\" is longer"},
        {"{\"objects\": [" + op + ", " + op + "]}", "objects[1] (tag 1, \"OP\"): tag 1 is taken"},
        {R"({"objects": [{"tag": 1, "kind": "operation", "members": []}]})",
         "objects[0].members (tag 1): only a program group has members"},
        {R"({"objects": [{"tag": 2, "kind": "program_group", "members": [9]}]})",
         "objects[0].members[0] (tag 2): member tag 9 names no object"},
        {"{\"objects\": [" + op + ", " + group + R"(, {"tag": 3, "kind": "program_group", "members": [1]}]})",
         "objects[2].members[0] (tag 3): tag 1 is a member of tag 2 already"},
        {R"({"objects": [{"tag": 2, "kind": "program_group", "members": [3]},
                         {"tag": 3, "kind": "program_group", "members": [2]}]})",
         "objects[1].members[0] (tag 3): tag 2 would become a member of itself"},
        {"{\"objects\": [" + op + ", " + group + R"(, {"tag": 5, "kind": "setup", "program_root": 1}]})",
         "objects[2].program_root (tag 5): tag 1 is no program group"},
        {"{\"objects\": [" + op + ", " + group + R"(, {"tag": 5, "kind": "setup", "program_root": 2},
                                 {"tag": 6, "kind": "program_group", "members": [2]}]})",
         "objects[3].members[0] (tag 6): the program root cannot be a member of a group"},
        {R"({"objects": [{"tag": 5, "kind": "setup"}, {"tag": 6, "kind": "setup"}]})",
         "objects[1] (tag 6): the part has a setup already"},
        {"{\"objects\": [" + op + ", " + group + "], \"current_operation\": 2}",
         "current_operation: tag 2 is no operation"},
        {"{\"objects\": [" + op + "], \"selection\": [1, 8]}", "selection: selected tag 8 names no object"},
        {R"({"objects": [{"tag": 1, "kind": "other", "attributes": [{"title": "T", "type": "time", "value": "2023-02-29T10:00:00"}]}]})",
         "objects[0].attributes[0].value (tag 1): must be a local time written YYYY-MM-DDTHH:MM:SS"},
        {R"({"objects": [{"tag": 1, "kind": "other", "attributes": [{"title": "T", "type": "null"}, {"title": "T", "type": "null"}]}]})",
         "objects[0].attributes[1].title (tag 1): \"T\" is on this object already"},
        {R"({"objects": [{"tag": 1, "kind": "other", "attributes": [{"title": "T", "type": "number", "value": 3}]}]})",
         "objects[0].attributes[0].type (tag 1): \"number\" is none of string, time, null"},
        {R"({"parts": [{"tag": 1, "file_name": "a.prt"}], "display_part": 2})", "display_part: tag 2 names no part"},
        {R"({"parts": [{"tag": 1, "file_name": "a.prt"}], "objects": [{"tag": 1, "kind": "other"}]})",
         "objects[0] (tag 1): tag 1 is taken"},
        {R"({"database": [{"number": "N", "description": ")" + std::string(241, 'd') + "\"}]}",
         "database[0]: the description is longer than 240 characters"},
        {R"({"managed": "yes"})", "managed: must be true or false"},
    };
    for (const auto &each : cases) {
        std::string message = load_error(each.text);
        EXPECT_NE(message.find(each.message), std::string::npos) << each.text << "\n  gave: " << message;
        EXPECT_EQ(message.rfind("part file 'p.json'", 0), 0u) << message;
    }
}

TEST_F(PartModelTest, FailedLoadLeavesTheModelAsItWas) {
    part().load(example_path());
    std::string before = part().to_text();
    EXPECT_NE(load_error(R"({"objects": [{"tag": 1, "kind": "other"}], "selection": [2]})"), "");
    EXPECT_EQ(part().to_text(), before);
    EXPECT_THROW(part().load(example_path() + ".missing"), PartFileError);
    EXPECT_EQ(part().to_text(), before);
    // A long load asked to stop gives up, the model as it was.
    std::string moves;
    for (int i = 0; i < 5000; ++i) moves += R"({"motion": "rapid", "pos": [0, 0, 0]},)";
    EXPECT_THROW(part().load_text(R"({"objects": [{"tag": 1, "kind": "operation", "path": [)" + moves + "]}]}", "big",
                                  [] { return true; }),
                 emuhost::PartLoadInterrupted);
    EXPECT_EQ(part().to_text(), before);
}

// docs/part-file.md and docs/posting.md list the posting fields, events and
// variables as the one table in the code has them.
TEST_F(PartModelTest, DocsListThePostingTableAsTheCodeHasIt) {
    auto read = [](const std::string &name) {
        std::ifstream in(std::string(TARVEX_SOURCE_DIR) + "/docs/" + name);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string part_file = read("part-file.md"), posting = read("posting.md");
    for (const std::string &table : emuhost::posting::markdown_tables()) {
        const std::string &doc = table.rfind("fields:", 0) == 0 ? part_file : posting;
        std::string expected = emuhost::posting::markdown(table);
        EXPECT_NE(doc.find(expected), std::string::npos) << "the docs should hold " << table << " as:\n" << expected;
    }
}

TEST_F(PartModelTest, SaveWritesWhatLoadReads) {
    part().load(example_path());
    part().assign(21, emuhost::Attribute{"STAMP", emuhost::AttributeType::Time, "", HostTime{20241231, 235959}});
    auto path = (std::filesystem::temp_directory_path() / "tarvex_part_model_save.json").string();
    part().save(path);
    std::ifstream in(path);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(path);
    EXPECT_NE(saved.find("\"value\": \"2024-12-31T23:59:59\""), std::string::npos);
    EXPECT_THROW(part().save(path + "/no/such/folder/x.json"), PartFileError);
}

TEST_F(PartModelTest, TextThatIsNotUtf8IsSavedAsBytesAndLoadsBackTheSame) {
    // An 8-bit code page, Tcl's NUL, a cut sequence: every byte comes back.
    const std::string texts[] = {"Fr\xe4se", std::string("a\xc0\x80" "b"), "\xe2\x82", "Fr\xc3\xa4se"};
    part().add_object(1, emuhost::ObjectKind::Other, "X\xff");
    for (std::size_t i = 0; i < 4; ++i)
        part().assign(1, emuhost::Attribute{"T" + std::to_string(i), emuhost::AttributeType::String, texts[i], {}});
    std::string saved = part().to_text();
    EXPECT_NE(saved.find("\"value\": {\n            \"bytes\": \"4672e47365\"\n          }"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"value\": \"Fr\xc3\xa4se\""), std::string::npos);  // UTF-8 stays a string
    part().load_text(saved, "saved");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(part().attribute(1, "T" + std::to_string(i))->text, texts[i]);
    EXPECT_EQ(part().object(1)->name, "X\xff");
    EXPECT_EQ(part().to_text(), saved);
    EXPECT_THROW(part().load_text(R"({"objects": [{"tag": 1, "kind": "other", "name": {"bytes": "4g"}}]})", "bad"),
                 PartFileError);
    // A number no type holds is refused like a syntax error, not a crash.
    EXPECT_THROW(part().load_text(R"({"objects": 3E333333})", "huge"), PartFileError);
}

TEST_F(PartModelTest, HostTimesAreCheckedCalendarTimes) {
    EXPECT_EQ(emuhost::to_iso8601({20240229, 90807}), "2024-02-29T09:08:07");
    EXPECT_EQ(emuhost::from_iso8601("2024-02-29T09:08:07"), (HostTime{20240229, 90807}));
    for (const char *bad : {"2023-02-29T00:00:00", "2024-13-01T00:00:00", "2024-01-01T24:00:00",
                            "2024-01-01 10:00:00", "2024-01-01T10:00", "2024-1-01T10:00:00", "x"})
        EXPECT_FALSE(emuhost::from_iso8601(bad).has_value()) << bad;
    EXPECT_TRUE(emuhost::is_valid(emuhost::local_now()));
}

TEST_F(PartModelTest, ManagedNamesDecodeIntoFourFields) {
    struct Case {
        std::string text;
        std::optional<ManagedName> decoded;
    };
    const std::vector<Case> cases = {
        {"@db:100-2245/B", ManagedName{"100-2245", "B", "master", "100-2245"}},
        {"@db:100-2245/B/nc/F", ManagedName{"100-2245", "B", "nc", "F"}},
        {"@db:100-2245", std::nullopt},
        {"@db:100-2245/B/nc", std::nullopt},
        {"@db:100-2245//nc/F", std::nullopt},
        {"@db:1/2/3/4/5", std::nullopt},
        {"C:\\parts\\a.prt", std::nullopt},
        {"@db:" + std::string(33, 'N') + "/A", std::nullopt},
        {"@db:N/A/" + std::string(14, 't') + "/F", std::nullopt},
    };
    for (const auto &each : cases) {
        auto decoded = PartModel::decode_managed_name(each.text);
        ASSERT_EQ(decoded.has_value(), each.decoded.has_value()) << each.text;
        if (!decoded) continue;
        EXPECT_EQ(decoded->number, each.decoded->number);
        EXPECT_EQ(decoded->revision, each.decoded->revision);
        EXPECT_EQ(decoded->file_type, each.decoded->file_type);
        EXPECT_EQ(decoded->file_name, each.decoded->file_name);
        EXPECT_EQ(PartModel::decode_managed_name(PartModel::encode_managed_name(*decoded))->file_name,
                  decoded->file_name);
    }
}

TEST_F(PartModelTest, CycleByNameWalksSameNamedObjectsInPartOrder) {
    part().load(example_path());
    part().add_object(60, emuhost::ObjectKind::Other, "CAVITY_MILL");
    std::vector<tag_t> found;
    tag_t object = NULL_TAG;
    do {
        ASSERT_EQ(UF_OBJ_cycle_by_name("CAVITY_MILL", &object), 0);
        found.push_back(object);
    } while (object != NULL_TAG);
    EXPECT_EQ(found, (std::vector<tag_t>{32, 60, 0}));
    object = 999;
    EXPECT_EQ(UF_OBJ_cycle_by_name("CAVITY_MILL", &object), emuhost::kErrInvalidTag);
    object = NULL_TAG;
    EXPECT_EQ(UF_OBJ_cycle_by_name("cavity_mill", &object), 0);
    EXPECT_EQ(object, NULL_TAG);
}

TEST_F(PartModelTest, ArraysAreHandedOutOnlyWhenThereIsSomethingInThem) {
    part().load(example_path());
    int count = -1;
    tag_t *members = nullptr;
    ASSERT_EQ(UF_NCGROUP_ask_member_list(20, &count, &members), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::vector<tag_t>(members, members + count), (std::vector<tag_t>{21, 22, 35}));
    EXPECT_EQ(session().outstanding_allocations(), 1u);
    UF_free(members);
    UF_free(members);
    EXPECT_EQ(session().release_errors().size(), 1u);
    session().reset();  // the double release above is meant; start clean

    part().load(example_path());
    part().add_object(70, emuhost::ObjectKind::ProgramGroup, "EMPTY");
    EXPECT_EQ(UF_NCGROUP_ask_member_list(70, &count, &members), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(members, nullptr);
    EXPECT_EQ(UF_NCGROUP_ask_member_list(31, &count, &members), emuhost::kErrInvalidTag);
    EXPECT_EQ(UF_UI_ONT_ask_selected_nodes(&count, &members), 0);
    EXPECT_EQ(members, nullptr);
    EXPECT_EQ(session().outstanding_allocations(), 0u);
}

TEST_F(PartModelTest, OperationNameIsAskedWithTheMomIdInTheTagsPlace) {
    part().load(example_path());
    tag_t mom = static_cast<tag_t>(reinterpret_cast<std::uintptr_t>(session().mom_id()));
    char name[OPER_NAME_SIZE] = "";
    EXPECT_EQ(UF_OPER_ask_name(mom, name), 0);
    EXPECT_STREQ(name, "FACE_MILLING");
    EXPECT_EQ(UF_OPER_ask_name(33, name), 0);
    EXPECT_STREQ(name, "SPOT_DRILLING");
    part().set_current_operation(0);
    name[0] = '\0';
    EXPECT_NE(UF_OPER_ask_name(mom, name), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(UF_OPER_ask_name(21, name), emuhost::kErrInvalidTag);
}

TEST_F(PartModelTest, AssignRefusesWhatThePartCannotHold) {
    part().load(example_path());
    AttributeValue value{};
    value.type = ATTR_TYPE_STRING;
    std::string long_text(133, 'v');
    value.value.string = long_text.data();
    EXPECT_EQ(UF_ATTR_assign(21, "T", value), emuhost::kErrInvalidArgument);
    EXPECT_EQ(UF_ATTR_assign(21, std::string(51, 'T').c_str(), value), emuhost::kErrInvalidArgument);
    EXPECT_EQ(UF_ATTR_assign(999, "T", value), emuhost::kErrInvalidTag);
    value.type = 7;
    EXPECT_EQ(UF_ATTR_assign(21, "T", value), emuhost::kErrInvalidArgument);
    value.type = ATTR_TYPE_TIME;
    value.value.time[0] = 20240230;
    value.value.time[1] = 0;
    EXPECT_EQ(UF_ATTR_assign(21, "T", value), emuhost::kErrInvalidArgument);
    EXPECT_TRUE(part().object(21)->attributes.empty());
}

TEST_F(PartModelTest, ClockAnswersEmptyTextsAndReadsGivenOnes) {
    part().fix_clock({20240101, 120000});
    int32_t when[2] = {0, 0};
    EXPECT_EQ(uc4583("", "", when), 0);
    EXPECT_EQ(when[0], 20240101);
    EXPECT_EQ(when[1], 120000);
    EXPECT_EQ(uc4583("2023-07-04", "08:09:10", when), 0);
    EXPECT_EQ(when[0], 20230704);
    EXPECT_EQ(when[1], 80910);
    EXPECT_EQ(uc4583("2023-07-04", "", when), emuhost::kErrInvalidArgument);
    // A fresh session goes back to the computer's clock.
    session().reset();
    EXPECT_EQ(uc4583("", "", when), 0);
    EXPECT_TRUE(emuhost::is_valid({when[0], when[1]}));
}

}  // namespace
