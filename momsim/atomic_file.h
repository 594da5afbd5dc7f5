// A file that is replaced whole or not at all.
#pragma once

#include <cstdio>
#include <string>

namespace momsim {

// A file written under a temporary name in its own folder and renamed onto
// its real name by commit(): until then the file at the real name is
// untouched, and a file never committed is removed again. A device such as
// /dev/null is written in place; a symbolic link keeps pointing where it
// did, and the file it names is the one replaced.
class AtomicFile {
public:
    // `label` names the file in messages ("--save", "NC output"). Throws
    // UsageError naming it when the file cannot be started.
    AtomicFile(std::string label, std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Appends and, unless `flush` is false, flushes at once, so that the
    // temporary file shows what was written so far (a killed run leaves it
    // beside the untouched original). Posts write many short NC lines: they
    // leave flushing to the buffer.
    void write(const std::string &text, bool flush = true);
    // Flushes, syncs and renames onto the real name; answers "" or why it
    // failed ("LABEL PATH: REASON"). Later calls do nothing.
    std::string commit();
    // The same, but onto NAME.partial beside the real name, which stays as
    // it was: what was written, kept for a look, replacing an older partial.
    std::string keep_partial();
    // Where keep_partial() puts it: the real name (a link's target) with
    // ".partial"; empty for a device, which is written in place.
    std::string partial_path() const;
    // Removes the temporary file: the file at the real name stays as it was.
    void discard();
    // Whether it is still being written: neither committed, kept nor discarded.
    bool pending() const { return file_ != nullptr; }
    // Drops what was written so far: the output starts again empty.
    void restart();

private:
    std::string finish(const std::string &onto);

    std::string label_;
    std::string path_;
    std::string temporary_;
    std::string target_;  // the file renamed onto: the path, symbolic links resolved
    std::FILE *file_ = nullptr;
    bool failed_ = false;
};

// Removes every temporary file not yet committed or discarded, with calls a
// signal handler may make: for an ending that cannot wait for the run.
void remove_temporary_files() noexcept;

}  // namespace momsim
