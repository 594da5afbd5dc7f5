// Layouts of the records that cross the border to the host. The host was
// built by another compiler, so every offset and size must be that of its
// ABI, in the 64-bit and in the 32-bit build alike; the expected numbers are
// written out per width, not derived from sizeof.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "openapi.h"

namespace {

struct Width {
    std::size_t pointer;
    // InterpRecord: result, free_proc, error_line; size
    std::size_t interp[4];
    // GripArg: type, zero, address; size
    std::size_t grip[4];
    // MessageButtons: button1..3, label1..3, response1..3; size
    std::size_t buttons[10];
    // AttributeValue: type, value, value.time[1]; size
    std::size_t attribute[4];
    // STARTUPINFOA, PROCESS_INFORMATION (Windows builds only)
    std::size_t startup_info, process_information;
};

const Width kWidths[] = {
    {4, {0, 4, 8, 12}, {0, 4, 8, 12}, {0, 1, 2, 4, 8, 12, 16, 20, 24, 28}, {0, 4, 8, 12}, 68, 16},
    {8, {0, 8, 16, 24}, {0, 4, 8, 16}, {0, 1, 2, 8, 16, 24, 32, 36, 40, 48}, {0, 8, 12, 16}, 104, 24},
};

const Width *this_width() {
    for (const Width &width : kWidths)
        if (width.pointer == sizeof(void *)) return &width;
    return nullptr;
}

struct Field {
    const char *name;
    std::size_t actual;
};

// Compares field by field, so a failure names the field that moved.
void expect_layout(const char *record, const std::vector<Field> &fields, const std::size_t *expected) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i].actual, expected[i])
            << record << "::" << fields[i].name << " in the " << 8 * sizeof(void *) << "-bit build";
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        width_ = this_width();
        ASSERT_NE(width_, nullptr) << "no layout known for " << sizeof(void *) << "-byte pointers";
    }
    const Width *width_ = nullptr;
};

TEST_F(Layout, ScalarTypesHaveTheHostsWidths) {
    EXPECT_EQ(sizeof(tag_t), 4u);
    EXPECT_EQ(static_cast<tag_t>(-1), 0xFFFFFFFFu) << "tags are unsigned";
    EXPECT_EQ(sizeof(logical), 4u);
    EXPECT_EQ(sizeof(MomId), width_->pointer);
    EXPECT_EQ(sizeof(CommandHandler), width_->pointer);
}

TEST_F(Layout, InterpreterRecordHead) {
    expect_layout("InterpRecord",
                  {{"result", offsetof(InterpRecord, result)},
                   {"free_proc", offsetof(InterpRecord, free_proc)},
                   {"error_line", offsetof(InterpRecord, error_line)},
                   {"sizeof", sizeof(InterpRecord)}},
                  width_->interp);
}

TEST_F(Layout, GripArgumentEntry) {
    expect_layout("GripArg",
                  {{"type", offsetof(GripArg, type)},
                   {"zero", offsetof(GripArg, zero)},
                   {"address", offsetof(GripArg, address)},
                   {"sizeof", sizeof(GripArg)}},
                  width_->grip);
    // The host walks the list as one block of entries.
    GripArg list[30];
    EXPECT_EQ(reinterpret_cast<const char *>(&list[29]) - reinterpret_cast<const char *>(&list[0]),
              static_cast<std::ptrdiff_t>(29 * width_->grip[3]));
}

TEST_F(Layout, MessageButtonSet) {
    expect_layout("MessageButtons",
                  {{"button1", offsetof(MessageButtons, button1)},
                   {"button2", offsetof(MessageButtons, button2)},
                   {"button3", offsetof(MessageButtons, button3)},
                   {"label1", offsetof(MessageButtons, label1)},
                   {"label2", offsetof(MessageButtons, label2)},
                   {"label3", offsetof(MessageButtons, label3)},
                   {"response1", offsetof(MessageButtons, response1)},
                   {"response2", offsetof(MessageButtons, response2)},
                   {"response3", offsetof(MessageButtons, response3)},
                   {"sizeof", sizeof(MessageButtons)}},
                  width_->buttons);
    EXPECT_EQ(sizeof(MessageButtons::button1), 1u);
}

TEST_F(Layout, AttributeValue) {
    expect_layout("AttributeValue",
                  {{"type", offsetof(AttributeValue, type)},
                   {"value", offsetof(AttributeValue, value)},
                   {"value.time[1]", offsetof(AttributeValue, value.time[1])},
                   {"sizeof", sizeof(AttributeValue)}},
                  width_->attribute);
    // The text pointer and the host time share the value's first bytes.
    EXPECT_EQ(offsetof(AttributeValue, value.string), offsetof(AttributeValue, value.time[0]));
}

#if defined(_WIN32)
TEST_F(Layout, ProcessStartRecords) {
    EXPECT_EQ(sizeof(STARTUPINFOA), width_->startup_info);
    EXPECT_EQ(offsetof(STARTUPINFOA, cb), 0u);
    EXPECT_EQ(sizeof(PROCESS_INFORMATION), width_->process_information);
}
#endif

}  // namespace
