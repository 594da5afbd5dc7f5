// The part model answers tags, member groups and names from indexes; they
// must agree with the part after every change, refused ones included.
#include <gtest/gtest.h>

#include <stdexcept>

#include "emuhost/part.h"

namespace {

using emuhost::ObjectKind;
using emuhost::PartModel;

TEST(PartIndex, AgreesAfterAdditionsRefusalsAndReplacement) {
    PartModel part;
    part.add_object(1, ObjectKind::Setup, "SETUP");
    part.add_object(2, ObjectKind::ProgramGroup, "ROOT");
    part.set_setup(1, 2);
    const int groups = 2000;
    for (int i = 0; i < groups; ++i) {
        tag_t group = static_cast<tag_t>(10 + 2 * i), oper = group + 1;
        part.add_object(group, ObjectKind::ProgramGroup, "P" + std::to_string(i % 7));
        part.add_object(oper, ObjectKind::Operation, "OP" + std::to_string(i));
        part.add_member(2, group);
        part.add_member(group, oper);
    }
    // Refused changes leave the indexes as they were.
    EXPECT_THROW(part.add_object(11, ObjectKind::Operation, "TAKEN"), std::invalid_argument);
    EXPECT_THROW(part.add_member(12, 11), std::invalid_argument);  // 11 is in group 10 already
    EXPECT_THROW(part.add_member(10, 2), std::invalid_argument);   // the root
    EXPECT_EQ(part.object(11)->name, "OP0");
    EXPECT_EQ(part.object(11)->kind, ObjectKind::Operation);
    EXPECT_EQ(part.group_of(11), 10u);
    EXPECT_EQ(part.group_of(2), 0u);
    EXPECT_EQ(part.object(99999), nullptr);

    for (int i = 0; i < groups; i += 97) {
        tag_t group = static_cast<tag_t>(10 + 2 * i);
        EXPECT_EQ(part.object(group)->tag, group);
        EXPECT_EQ(part.group_of(group), 2u);
        EXPECT_EQ(part.group_of(group + 1), group);
    }
    // Names: every P3 in part order, then none.
    tag_t at = 0;
    int found = 0;
    while ((at = part.next_by_name("P3", at)) != 0) {
        EXPECT_EQ(part.object(at)->name, "P3");
        ++found;
    }
    EXPECT_EQ(found, (groups - 3 + 6) / 7);
    EXPECT_EQ(part.next_by_name("OP5", 99999), 0u);  // unknown start

    // A part loaded from text replaces the indexes with its own.
    part.load_text(R"({"objects": [{"tag": 5, "kind": "program_group", "name": "ROOT", "members": [6]},
                                   {"tag": 6, "kind": "operation", "name": "OP0"}]})", "small");
    EXPECT_EQ(part.object(11), nullptr);
    EXPECT_EQ(part.group_of(11), 0u);
    EXPECT_EQ(part.group_of(6), 5u);
    EXPECT_EQ(part.next_by_name("OP0", 0), 6u);
    part.reset();
    EXPECT_EQ(part.object(6), nullptr);
    EXPECT_EQ(part.group_of(6), 0u);
}

}  // namespace
