// One momsim run: a Tcl interpreter adopted by the emulated host as its
// translator, the plug-ins loaded into it, and the script or the prompt.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <tcl.h>

#include "account.h"
#include "commands.h"
#include "drives.h"
#include "emuhost/session.h"
#include "exec.h"
#include "grip.h"
#include "gui.h"
#include "inputs.h"
#include "logs.h"
#include "options.h"
#include "output_engine.h"
#include "post.h"
#include "outputs.h"

namespace momsim {

class Run {
public:
    Run(Options options, Inputs inputs);
    // A run that ends without exit() (momsim refused to start, or a test)
    // lets go of the host's log sinks and of Tcl's exit.
    ~Run();
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    // Creates the interpreter, hands it to the host, sets the script's
    // argv and the --set variables and loads the --load plug-ins. Throws
    // UsageError for an output file that cannot be written or a plug-in
    // that cannot be loaded.
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
    // did not fit its dialog or the part could not be saved.
    [[noreturn]] void exit(int status);

    // Loads a plug-in as the host does and calls `entry`; the library stays
    // loaded for the rest of the run. Throws std::runtime_error.
    void load(const std::string &library, const std::string &entry);

    // GRIP and process stand-ins that were missing or failed so far; each
    // is also named in the summary at the end of the run.
    int failed_stand_ins() const { return static_cast<int>(failed_stand_ins_.size()); }
    // The file an output option writes (registered in add_run_files(),
    // committed when the run ends): where a new output, an NC file say,
    // is written during the run.
    AtomicFile &output(const std::string &option) { return outputs_.open(option); }

private:
    // Answers how many problems it reported that turn a clean end into a
    // failed one; 0 on a second call.
    int finish();
    void report_failure(int code);
    void show_status(const std::string &text);
    void show_dialog(const emuhost::DialogRecord &record);
    std::optional<std::string> ask_user(const emuhost::DialogRecord &record, const std::string &problem);
    void complain(const std::string &message);
    static void add_call_site(nlohmann::ordered_json &record, const CallSite &site);

    Options options_;
    Inputs inputs_;
    Outputs outputs_;
    Account account_;
    bool interactive_ = false;     // dialogs are asked at a terminal
    Tcl_Interp *interp_ = nullptr;
    std::unique_ptr<Syslog> syslog_;
    std::unique_ptr<Transcript> transcript_;
    std::vector<std::unique_ptr<emuhost::Plugin>> plugins_;
    std::unique_ptr<GripStandIns> grip_;
    std::unique_ptr<DriveFilesystem> drive_fs_;
    std::unique_ptr<ProcessStandIns> exec_;
    std::vector<std::string> failed_stand_ins_;  // first line of each message
    std::unique_ptr<Poster> poster_;
    std::unique_ptr<OutputEngine> engine_;  // definition files and the host's output commands
    std::unique_ptr<Gui> gui_;  // --gui
    std::size_t next_answer_ = 0;  // the next line of the answers file a dialog takes
    int misfits_ = 0;              // scripted answers that did not fit
    bool ran_ = false;             // the script or the prompt has started
    bool finished_ = false;
};

}  // namespace momsim
