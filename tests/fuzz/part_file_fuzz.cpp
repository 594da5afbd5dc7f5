// libFuzzer target: one input is one part file. Whatever the reader takes
// must save without failing, and what was saved must load back and save to
// the same bytes: the round trip --part and --save make with a user's file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "emuhost/part.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    emuhost::PartModel model;
    try {
        model.load_text(text, "fuzz.json");
    } catch (const emuhost::PartFileError &) {
        return 0;  // refused with a message: the reader's job
    }
    std::string saved = model.to_text();  // never fails on what loaded
    emuhost::PartModel again;
    again.load_text(saved, "saved.json");
    if (again.to_text() != saved) std::abort();
    return 0;
}
