// The fixed-size text fields of the Open API, as the host fills and reads
// them: never past the field's end, always terminated.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace emuhost {

// Copies `text` into a field of `size` bytes, cut to size - 1 and
// terminated.
inline void fill(char *field, std::size_t size, const std::string &text) {
    std::snprintf(field, size, "%s", text.c_str());
}

// The text a caller keeps in a field of `size` bytes, read no further than
// the field (an unterminated field gives its first size - 1 bytes).
inline std::string field_text(const char *field, std::size_t size) {
    std::size_t length = 0;
    while (length + 1 < size && field[length] != '\0') ++length;
    return std::string(field, length);
}

}  // namespace emuhost
