#include "logs.h"

#include <cerrno>
#include <cstring>

#include "options.h"

namespace momsim {
namespace {

std::FILE *open_for_writing(const std::string &what, const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw UsageError("cannot write " + what + " " + path + ": " + std::strerror(errno));
    return file;
}

}  // namespace

Syslog::Syslog(const std::string &path) : file_(open_for_writing("system log", path)) {}

Syslog::~Syslog() {
    if (file_) std::fclose(file_);
}

void Syslog::write(const std::string &text) {
    if (file_) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fflush(file_);
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

Transcript::Transcript(const std::string &path) : file_(open_for_writing("transcript", path)) {}

Transcript::~Transcript() {
    if (file_) std::fclose(file_);
}

void Transcript::write(const nlohmann::ordered_json &record) {
    if (!file_) return;
    // Host texts are 8-bit; bytes that are no UTF-8 show as U+FFFD rather
    // than end the run.
    std::string line = record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace momsim
