//   momsim --save FILE --transcript FILE --syslog FILE [options] script.tcl
//
// Every file momsim writes, checked against everything it reads before the
// run starts, and written so that no way of ending leaves one half-done.
//
// A new output (say an NC file) is one more entry in add_run_files():
//     outputs.add_output("--output", path, OutputKind::Text);
// then, where the run writes it,
//     AtomicFile &file = outputs.open("--output");
// Run::finish() commits every open file, however the run ended.
#pragma once

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace momsim {

// What an output holds, for the check that an existing file at its path is
// plausibly an earlier output of the same kind and not something else.
enum class OutputKind {
    Json,       // a part file or a JSON Lines transcript: empty or starting with "{"
    Text,       // a log, an NC file, a listing: anything but a Tcl script or an answers file
};

// A file written under a temporary name in its own folder and renamed onto
// its real name by commit(): until then the file at the real name is
// untouched, and a file never committed is removed again.
class AtomicFile {
public:
    // Throws UsageError naming `option` when the temporary file cannot be
    // made.
    AtomicFile(std::string option, std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Appends and, unless `flush` is false, flushes at once, so that the
    // temporary file shows what was written so far (a killed run leaves it
    // beside the untouched original). Posts write many short NC lines: they
    // leave flushing to the buffer.
    void write(const std::string &text, bool flush = true);
    // Flushes, syncs and renames onto the real name; answers the problem,
    // empty on success. Later calls do nothing.
    std::string commit();
    // Removes the temporary file: the file at the real name stays as it was.
    void discard();
    // Drops what was written so far: the output starts again empty.
    void restart();

    const std::string &path() const { return path_; }
    const std::string &temporary() const { return temporary_; }

private:
    std::string option_;
    std::string path_;
    std::string temporary_;
    std::string target_;  // the file renamed onto: the path, symbolic links resolved
    std::FILE *file_ = nullptr;
    bool failed_ = false;
};

// The identity of a path: device and inode of an existing file, otherwise
// its absolute path with ".", ".." and symbolic links of its folder
// resolved.
std::string file_identity(const std::string &path);

class Outputs {
public:
    // `what` names the input in messages ("the script", "--answers").
    void add_input(const std::string &what, const std::string &path);
    void add_output(const std::string &option, const std::string &path, OutputKind kind);
    // An output first known during the run (the NC output, named by the
    // post's variables): added and checked at once; refused (UsageError,
    // and not added) as check() refuses it.
    void add_checked(const std::string &option, const std::string &path, OutputKind kind);

    // Forgets an output that was never opened.
    void remove(const std::string &option);

    // Refuses (UsageError) an output that is the same file as an input or
    // as another output, and an existing output that is plainly not of its
    // kind. Nothing is written.
    void check() const;

    // Starts writing an output added before; the same file on later calls.
    AtomicFile &open(const std::string &option);
    bool has(const std::string &option) const;
    // What the run reads at `path` ("the script", ...); empty for none.
    std::string input_at(const std::string &path) const;
    // The output being written at `path`; null for none.
    AtomicFile *output_at(const std::string &path) const;

    // Commits every open file; answers one message per file that failed.
    std::vector<std::string> commit_all();
    // Leaves every file as it was (a run that never started).
    void discard_all();

private:
    struct Input {
        std::string what;
        std::string path;
    };
    struct Output {
        std::string option;
        std::string path;
        OutputKind kind;
        std::unique_ptr<AtomicFile> file;
    };
    std::vector<Input> inputs_;
    std::vector<Output> outputs_;
};

struct Options;
struct Inputs;

// Registers what a run reads (script, answers, part, --load libraries) and
// writes (--save, --transcript, --syslog).
void add_run_files(Outputs &outputs, const Options &options, const Inputs &inputs);

// Why an existing file at `path` is no earlier output of `kind`; empty when
// it may be overwritten (missing, empty, or plausibly of the kind).
std::string misfit_kind(const std::string &path, OutputKind kind);

}  // namespace momsim
