// Where the host's system log and the record of what the user was shown go.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace momsim {

class AtomicFile;

// The host's system log: a file, written as the host writes it, or standard
// error with every line prefixed so it stands apart from the script's own
// output.
class Syslog {
public:
    Syslog() = default;  // standard error
    explicit Syslog(AtomicFile &file) : file_(&file) {}  // the run commits it
    Syslog(const Syslog &) = delete;
    Syslog &operator=(const Syslog &) = delete;

    static constexpr const char *kPrefix = "syslog: ";

    // One text as UF_print_syslog received it; it may hold several lines.
    void write(const std::string &text);

private:
    AtomicFile *file_ = nullptr;
};

// JSON Lines: one object per thing shown to the user, written at once so
// that a run that dies leaves what it showed so far.
class Transcript {
public:
    Transcript() = default;  // records nothing
    explicit Transcript(AtomicFile &file) : file_(&file) {}  // the run commits it
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;

    bool active() const { return file_ != nullptr; }
    // `record` carries "call", the host call's name, and what it was given.
    void write(const nlohmann::ordered_json &record);

private:
    AtomicFile *file_ = nullptr;
};

}  // namespace momsim
