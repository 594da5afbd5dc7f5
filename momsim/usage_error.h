// A failure the user caused through the command line or an input file:
// momsim stops with exit status 2 and this message.
#pragma once

#include <stdexcept>

namespace momsim {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace momsim
