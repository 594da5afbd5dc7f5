// UTF-8 as the host's texts are checked against it: a part file keeps a
// text that is no UTF-8 as its bytes, and an answers file refuses one.
#pragma once

#include <cstddef>
#include <string>

#include "emuhost/translator.h"  // EMUHOST_API

namespace emuhost {

// Where the first byte that does not belong to a well-formed UTF-8
// sequence is (an overlong form, a surrogate or a code point above
// U+10FFFF included); std::string::npos for valid UTF-8.
EMUHOST_API std::size_t invalid_utf8_at(const std::string &text);

}  // namespace emuhost
