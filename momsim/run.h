// One momsim run: a Tcl interpreter adopted by the emulated host as its
// translator, the plug-ins loaded into it, and the script or the prompt.
// main() reads the options and the inputs and hands over to start(), which
// makes the run in named phases, as tclsh's main hands over to its
// Tcl_AppInit; exit() ends it, however it ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <tcl.h>

#include "account.h"
#include "drives.h"
#include "emuhost/session.h"
#include "grip.h"
#include "host_commands.h"
#include "inputs.h"
#include "logs.h"
#include "options.h"
#include "places.h"
#include "output_engine.h"
#include "post.h"
#include "processes.h"
#include "reads.h"
#include "run_files.h"
#include "screen.h"

namespace momsim {

class Run {
public:
    Run(Options options, Inputs inputs);
    // A run that ends without exit() (momsim refused to start, or a test)
    // lets go of the host's hooks and of Tcl's exit.
    ~Run();
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    // Makes the run, phase by phase (below). Throws UsageError for an output
    // file that cannot be written, a part the host refuses, a plug-in that
    // cannot be loaded and the like: nothing has run then.
    void start(const char *argv0);

    // The script; answers the exit status (0, or 1 after reporting the
    // error on standard error).
    int run_script();

    // Commands read from standard input, with a prompt on a terminal, as
    // tclsh reads them. Answers 0 at the end of input.
    int prompt();

    // Ends the run: what has to be written after the script (the saved
    // part, complaints about unused answers), then the interpreter's own
    // exit (channels flushed). Used for every way a run ends, the script's
    // own "exit" included. A status of 0 becomes 1 when a scripted answer
    // did not fit its dialog or the part could not be saved, and 0 or 1
    // becomes 2 when an output turned out to be a file the run read.
    [[noreturn]] void exit(int status);

    // Finds a plug-in as the host's MOM_run_user_function does, loads it and
    // calls `entry`; the library stays loaded for the rest of the run.
    // Throws std::runtime_error.
    void load(const std::string &library, const std::string &entry);

private:
    // The phases of start(), in order.
    void open_outputs();                    // the run's files checked, the logs started
    void make_interpreter(const char *argv0);  // Tcl, argv and argc, Tcl's exit
    void wire_host();                       // the host's log, status, commands and drives
    void load_part();                       // the part and the host's clock
    void add_stand_ins();                   // process and GRIP stand-ins
    void take_dialogs();                    // answers, terminal, windows
    void set_variables();                   // --set
    void prepare_posting();                 // --post: the program's variables, the NC output
    void read_definition();                 // --env, and the definition file (--def, or beside the post)
    void load_plugins();                    // --load

    void load_found(const std::string &path, const std::string &entry);
    // Ends the run that is ending with `status`. Answers how many problems
    // it reported that turn a clean end into a failed one; 0 on a second
    // call.
    int finish(int status);
    // Whether the NC output and the other programs are put in place: the
    // script ran to its end (with --post, every event was called) without
    // an error or MOM_abort.
    bool complete(int status) const;
    // Says where a run that was not complete stopped, and where what it
    // wrote of each program is kept, on standard error; answers the line.
    std::string report_partials(const std::vector<std::pair<std::string, std::string>> &partials) const;
    void report_failure(int code);

    Options options_;
    Inputs inputs_;
    RunFiles files_;
    Account account_;
    Screen screen_;
    Tcl_Interp *interp_ = nullptr;
    std::unique_ptr<Syslog> syslog_;
    std::unique_ptr<Transcript> transcript_;
    std::vector<std::unique_ptr<emuhost::Plugin>> plugins_;
    std::unique_ptr<Places> places_;
    std::unique_ptr<HostCommands> commands_;
    std::unique_ptr<Poster> poster_;
    std::unique_ptr<DriveFilesystem> drive_fs_;
    std::unique_ptr<ProcessStandIns> processes_;
    std::unique_ptr<GripStandIns> grip_;
    std::unique_ptr<OutputEngine> engine_;  // definition files and the host's output commands
    std::unique_ptr<ReadFiles> reads_;      // the files the post reads, inputs of the run
    bool ran_ = false;             // the script or the prompt has started
    bool ran_through_ = false;     // the script (and with --post, the walk) ran to its end
    bool finished_ = false;
    bool refused_ = false;         // an output was not written: it is a file the run read
};

}  // namespace momsim
