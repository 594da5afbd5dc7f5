//   momsim --save FILE --transcript FILE --syslog FILE [--post --output FILE] script.tcl
//
// The run's files in one registry: what it reads (the script, the answers,
// the part, the plug-ins, whatever the post reads) and what it writes (the
// saved part, the transcript, the system log, the NC output and its
// listing), each known by its RunFile. Every check of an output is here,
// made before the run starts or when the output is first named: no output
// may be an input or another output, nor an existing file that is plainly
// of another kind (a script, an answers, INI or part file). Outputs are
// written so that no way of ending leaves one half-done: the records (the
// saved part, the transcript, the log) replace their files however the run
// ends; the programs (the NC output, its listing, files the post opened)
// only when it ended normally, and are otherwise kept beside them as
// NAME.partial.
//
// A new kind of file is one more RunFile and one more row of the table in
// run_files.cpp; where the run writes it,
//     AtomicFile &file = files.open(RunFile::Kind);
// and Run::finish() commits every open file, however the run ended.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "atomic_file.h"

namespace momsim {

enum class RunFile {
    // Read.
    Script,      // the script on the command line
    Answers,     // --answers
    Part,        // --part
    DemoPart,    // the demo part, without --part
    Load,        // a --load library
    Library,     // a library the script loads itself (MOM_run_user_function)
    Definition,  // a definition file (--def, beside the post, INCLUDE, MOM_load_definition_file)
    Read,        // a file the post read during the run (open, source, an INI file)
    // Written.
    Save,        // --save
    Transcript,  // --transcript
    Syslog,      // --syslog
    NcOutput,    // the NC output (--output, or the post's variables)
    Listing,     // the listing beside the NC output
    PostFile,    // a file the post opens itself (MOM_open_output_file); one entry each
};

class RunFiles {
public:
    RunFiles() = default;
    RunFiles(const RunFiles &) = delete;
    RunFiles &operator=(const RunFiles &) = delete;

    void add_input(RunFile which, const std::string &path);
    // An output the command line names, known before the run: its folder
    // must exist and it may be no folder itself (UsageError at once);
    // check() compares it with the rest.
    void add_output(RunFile which, const std::string &path);
    // An output first known during the run (the NC output, named by the
    // post's variables): added and checked at once; refused (UsageError,
    // and not added) as check() refuses it.
    void add_checked(RunFile which, const std::string &path);
    // Forgets an output that was never opened.
    void remove(RunFile which);

    // Refuses (UsageError) an output that is the same file as an input or
    // as another output, and an existing output that is plainly not of its
    // kind. Nothing is written.
    void check() const;

    // Starts writing an output added before; the same file on later calls.
    AtomicFile &open(RunFile which);
    // The same for the output of `which` at `path`, of a kind with several.
    AtomicFile &open(RunFile which, const std::string &path);

    // How messages name the input at `path` ("the script", ...); empty when
    // the run reads nothing there.
    std::string input_at(const std::string &path) const;
    // The output being written at `path`; null for none.
    AtomicFile *output_at(const std::string &path) const;

    // What commit_all() did besides committing.
    struct Committed {
        std::vector<std::string> problems;  // one message per file that failed or was refused
        bool refused = false;               // an output turned out to be an input
        // The programs kept as NAME.partial: {NAME, NAME.partial}.
        std::vector<std::pair<std::string, std::string>> partials;
    };
    // Commits every open file: the records always, the programs when the
    // run `complete`d, else each kept as NAME.partial. An input that came
    // during the run (a library the script loaded, a file the post read)
    // is still never written over.
    Committed commit_all(bool complete);
    // Leaves every file as it was (a run that never started).
    void discard_all();

private:
    void check(std::size_t output) const;

    struct Entry {
        RunFile which;
        std::string path;
        std::unique_ptr<AtomicFile> file;  // outputs, once opened
    };
    std::vector<Entry> inputs_;
    std::vector<Entry> outputs_;
};

}  // namespace momsim
