#include "logs.h"

#include <cerrno>
#include <cstring>

#include "options.h"
#include "outputs.h"

namespace momsim {

Syslog::Syslog(AtomicFile &file) : file_(&file) {}

Syslog::Syslog(const std::string &path)
    : owned_(std::make_unique<AtomicFile>("--syslog", path)), file_(owned_.get()) {}

Syslog::~Syslog() {
    if (owned_) owned_->commit();
}

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

Transcript::Transcript(AtomicFile &file) : file_(&file) {}

Transcript::Transcript(const std::string &path)
    : owned_(std::make_unique<AtomicFile>("--transcript", path)), file_(owned_.get()) {}

Transcript::~Transcript() {
    if (owned_) owned_->commit();
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
