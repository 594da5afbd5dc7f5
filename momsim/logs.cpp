#include "logs.h"

#include <cstdio>

#include "atomic_file.h"

namespace momsim {

void Syslog::write(const std::string &text) {
    if (file_) {
        file_->write(text);
        return;
    }
    // Each line of the text gets the prefix; a text that does not end its
    // last line is ended here, so the script's output never joins it.
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += kPrefix;
        out.append(text, start, end - start);
        out += '\n';
        start = end + 1;
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

void Transcript::write(const nlohmann::ordered_json &record) {
    if (!file_) return;
    // Host texts are 8-bit; bytes that are no UTF-8 show as U+FFFD rather
    // than end the run.
    std::string line = record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    line += '\n';
    file_->write(line);
}

}  // namespace momsim
