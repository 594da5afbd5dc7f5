// Fixture of the CAM command suites: the plug-in loaded, a part in the
// emulated host, a fixed clock, and a check after every test that each
// array the host handed out was released exactly once.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace tarvex_test {

// A small part: the setup's program root NC_PROGRAM holds P1, P2 and a
// second P1; P2 holds the group NESTED; FIXTURE is an object of another kind
// and LOOSE an operation in no group. OP1 is being post-processed.
inline const char *kCamPart = R"({
  "parts": [{"tag": 1, "file_name": "C:\\parts\\bracket.prt", "description": "Bracket"}],
  "display_part": 1,
  "objects": [
    {"tag": 10, "kind": "setup", "name": "SETUP", "program_root": 20},
    {"tag": 20, "kind": "program_group", "name": "NC_PROGRAM", "members": [21, 22, 24]},
    {"tag": 21, "kind": "program_group", "name": "P1", "members": [31]},
    {"tag": 22, "kind": "program_group", "name": "P2", "members": [23, 32]},
    {"tag": 23, "kind": "program_group", "name": "NESTED"},
    {"tag": 24, "kind": "program_group", "name": "P1"},
    {"tag": 31, "kind": "operation", "name": "OP1"},
    {"tag": 32, "kind": "operation", "name": "OP2"},
    {"tag": 33, "kind": "operation", "name": "LOOSE"},
    {"tag": 50, "kind": "other", "name": "FIXTURE"}
  ],
  "current_operation": 31
})";

inline const emuhost::HostTime kFixedTime{20240315, 143005};

class CamTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        load();
        part().load_text(kCamPart, "cam part");
        part().fix_clock(kFixedTime);
        host().clear_logs();
        host().clear_calls();
    }

    void TearDown() override {
        EXPECT_EQ(host().outstanding_allocations(), 0u) << "host memory handed out and never released";
        EXPECT_TRUE(host().release_errors().empty()) << host().release_errors().front();
        HostTest::TearDown();
    }

    emuhost::PartModel &part() { return host().part(); }

    // Titles of the object's attributes in the order they were assigned.
    std::vector<std::string> titles(tag_t tag) {
        std::vector<std::string> out;
        for (const auto &attribute : part().object(tag)->attributes) out.push_back(attribute.title);
        return out;
    }

    // The time of a time attribute, or {0, 0} when there is none.
    emuhost::HostTime time_of(tag_t tag, const std::string &title) {
        const emuhost::Attribute *found = part().attribute(tag, title);
        if (!found || found->type != emuhost::AttributeType::Time) return emuhost::HostTime{};
        return found->time;
    }

    // True when no object of the part carries an attribute.
    bool nothing_assigned() {
        for (const auto &object : part().objects())
            if (!object.attributes.empty()) return false;
        return true;
    }

    // The value of a string attribute, or "<absent>" / "<not a string>".
    std::string text_of(tag_t tag, const std::string &title) {
        const emuhost::Attribute *found = part().attribute(tag, title);
        if (!found) return "<absent>";
        if (found->type != emuhost::AttributeType::String) return "<not a string>";
        return found->text;
    }
};

}  // namespace tarvex_test
