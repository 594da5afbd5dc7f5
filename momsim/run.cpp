#include "run.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <unistd.h>

#include "commands.h"
#include "emuhost/paths.h"
#include "ending.h"
#include "locate.h"
#include "tcl_text.h"

namespace momsim {
namespace {

Run *the_run = nullptr;

// Tcl's exit (the script's "exit" command or our own end) comes here
// first, so that a script that exits early still gets its end of run.
TCL_NORETURN1 void exit_proc(ClientData data) {
    int status = static_cast<int>(reinterpret_cast<intptr_t>(data));
    the_run->exit(status);
}

// MOM_run_user_function LIBRARY ENTRY
//
// The host's own command: loads LIBRARY as the host does and calls its
// ENTRY, so that a script that loads the plug-in itself runs here as it
// runs in the host.
int run_user_function(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "library entry");
        return TCL_ERROR;
    }
    try {
        static_cast<Run *>(data)->load(to_native(objv[1]), to_native(objv[2]));
    } catch (const std::exception &error) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("MOM_run_user_function: %s", error.what()));
        Tcl_SetErrorCode(interp, "MOMSIM", "LOAD", nullptr);
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace

Run::Run(Options options, Inputs inputs)
    : options_(std::move(options)), inputs_(std::move(inputs)), screen_(account_, inputs_.answers) {}

Run::~Run() {
    stop_watching();
    finish(ran_through_ ? 0 : 1);
    if (the_run == this) {
        Tcl_SetExitProc(nullptr);
        the_run = nullptr;
    }
}

void Run::start(const char *argv0) {
    // A signal from here on ends the run the way every end does; before
    // the script starts that leaves every output as it was.
    Tcl_FindExecutable(argv0);
    watch_endings(options_.timeout, [this](const Ending &ending) {
        // Before the script (reading a long part file, say) nothing was
        // written: the message says so rather than that the outputs were.
        screen_.complain(ran_ ? ending.message
                              : ending.message.substr(0, ending.message.find(';')) +
                                    " before the script started; every file was left as it was");
        account_.failure(ending.message.substr(0, ending.message.find_first_of(":;")));
        exit(ending.status);
    });
    // A word after the script is the script's, even when it reads like
    // momsim's own option: say so, rather than quietly drop it into $argv.
    for (const auto &word : options_.late_options)
        screen_.warn("warning: " + word +
                     " comes after the script, so it goes to the script in $argv, not to momsim; put momsim's "
                     "options before the script (or write -- before the script to pass it on without this warning)");
    open_outputs();
    make_interpreter(argv0);
    wire_host();
    load_part();
    add_stand_ins();
    take_dialogs();
    set_variables();
    prepare_posting();
    read_definition();
    load_plugins();
}

void Run::open_outputs() {
    // What the run reads and writes, checked before anything runs: a bad
    // output stops the run with every file as it was.
    if (options_.script) files_.add_input(RunFile::Script, *options_.script);
    if (options_.answers) files_.add_input(RunFile::Answers, *options_.answers);
    if (!inputs_.part_path.empty())
        files_.add_input(inputs_.demo_part ? RunFile::DemoPart : RunFile::Part, inputs_.part_path);
    for (const auto &library : inputs_.libraries) files_.add_input(RunFile::Load, library);
    if (options_.save) files_.add_output(RunFile::Save, *options_.save);
    if (options_.transcript) files_.add_output(RunFile::Transcript, *options_.transcript);
    if (options_.syslog) files_.add_output(RunFile::Syslog, *options_.syslog);
    files_.check();
    syslog_ = options_.syslog ? std::make_unique<Syslog>(files_.open(RunFile::Syslog)) : std::make_unique<Syslog>();
    transcript_ = options_.transcript ? std::make_unique<Transcript>(files_.open(RunFile::Transcript))
                                      : std::make_unique<Transcript>();
    if (options_.save) files_.open(RunFile::Save);
    screen_.record_in(*transcript_);
}

void Run::make_interpreter(const char *argv0) {
    interp_ = Tcl_CreateInterp();
    if (Tcl_Init(interp_) != TCL_OK) {
        // Without Tcl's script library the interpreter still runs scripts;
        // only library procedures and packages are missing.
        screen_.warn(std::string("Tcl initialisation failed: ") + Tcl_GetStringResult(interp_));
        Tcl_ResetResult(interp_);
    }
    the_run = this;
    Tcl_SetExitProc(exit_proc);
    screen_.use_tcl_channels();

    // The plug-in prints through C's standard output and the script through
    // Tcl's: line buffering on both keeps their lines in order.
    Tcl_SetChannelOption(nullptr, Tcl_GetStdChannel(TCL_STDOUT), "-buffering", "line");

    bool interactive = !options_.script && ::isatty(0);
    std::string script_name = options_.script ? to_utf8(*options_.script) : to_utf8(argv0);
    Tcl_Obj *argv = Tcl_NewListObj(0, nullptr);
    for (const auto &arg : options_.script_args) Tcl_ListObjAppendElement(nullptr, argv, text_obj(arg));
    Tcl_SetVar2Ex(interp_, "argv0", nullptr, Tcl_NewStringObj(script_name.c_str(), -1), TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "argv", nullptr, argv, TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "argc", nullptr, Tcl_NewIntObj(static_cast<int>(options_.script_args.size())),
                  TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "tcl_interactive", nullptr, Tcl_NewIntObj(interactive ? 1 : 0), TCL_GLOBAL_ONLY);
}

void Run::wire_host() {
    emuhost::Session &host = emuhost::session();
    host.use_translator(emuhost::make_tcl_translator(interp_));
    host.on_syslog([this](const std::string &text) {
        account_.syslog(text);
        syslog_->write(text);
    });
    host.on_status([this](const std::string &text) { screen_.show_status(text); });
    host.windows().on_complaint([this](const std::string &message) { screen_.warn(message); });

    Tcl_CreateObjCommand(interp_, "MOM_run_user_function", run_user_function, this, nullptr);
    places_ = std::make_unique<Places>(interp_);
    places_->install();
    commands_ = std::make_unique<HostCommands>(interp_, files_, options_.output, *places_,
                                               [this] { return poster_ && poster_->in_event(); });
    commands_->install();
    engine_ = std::make_unique<OutputEngine>(
        interp_, *commands_, files_, [this](const std::string &message) { screen_.complain(message); },
        [this](const std::string &cause) { account_.cause(cause); });
    engine_->install();
    // The post's own file commands read drive letters as the plug-in does.
    drive_fs_ = std::make_unique<DriveFilesystem>(interp_);
    reads_ = std::make_unique<ReadFiles>(interp_, files_);
    reads_->watch();
}

void Run::load_part() {
    momsim::load_part(inputs_);
    emuhost::PartModel &part = emuhost::session().part();
    if (options_.clock) {
        auto when = emuhost::from_iso8601(*options_.clock);
        if (!when) throw UsageError("--clock " + *options_.clock + ": expected a local time YYYY-MM-DDTHH:MM:SS");
        part.fix_clock(*when);
    }
}

void Run::add_stand_ins() {
    emuhost::Session &host = emuhost::session();
    auto complain = [this](const std::string &message) { screen_.complain(message); };
    ExecMode mode = options_.no_exec ? ExecMode::Record : options_.exec_dir ? ExecMode::StandIn : ExecMode::Start;
    processes_ = std::make_unique<ProcessStandIns>(
        interp_, mode, options_.exec_dir.value_or(""), *transcript_, complain,
        [this](const std::string &message) { account_.process_stand_in_failed(message); });
    host.windows().set_process_hook(
        [this](const emuhost::ProcessStart &start) { return processes_->decide(start); });

    // The part's grip_dir is read relative to the part file, so that a part
    // and its stand-ins move together.
    std::string part_grip_dir = host.part().grip_dir();
    const std::string &part_path = inputs_.part_path;
    if (!part_grip_dir.empty() && part_grip_dir[0] != '/' && part_path.find('/') != std::string::npos)
        part_grip_dir = emuhost::join(emuhost::folder_of(part_path), part_grip_dir);
    grip_ = std::make_unique<GripStandIns>(interp_, inputs_.grip_dir, part_grip_dir, complain,
                                           [this](const std::string &message) { account_.grip_failed(message); });
    host.grip().set_resolver([this](const std::string &program) -> emuhost::GripProgram {
        emuhost::GripProgram stand_in = grip_->resolve(program);
        if (!stand_in) return stand_in;
        return [this, stand_in](emuhost::GripRun &call) {
            account_.grip_started();
            return stand_in(call);
        };
    });
}

void Run::take_dialogs() { screen_.take_dialogs(emuhost::session().dialogs(), options_.gui); }

void Run::set_variables() {
    // Set in Tcl itself, so that a name Tcl refuses (an element of a
    // variable set before as a scalar, say) stops the run instead of
    // vanishing.
    for (const auto &[name, value] : options_.sets) {
        std::string variable = "mom_" + to_utf8(name);
        if (Tcl_SetVar2(interp_, variable.c_str(), nullptr, to_utf8(value).c_str(),
                        TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG) == nullptr)
            throw UsageError("--set " + name + "=" + value + ": " + Tcl_GetStringResult(interp_));
    }
}

void Run::prepare_posting() {
    // The walk leaves alone what --set gave, an array by its name.
    std::set<std::string> overridden;
    for (const auto &assignment : options_.sets) overridden.insert(assignment.first.substr(0, assignment.first.find('(')));
    poster_ = std::make_unique<Poster>(
        interp_, std::move(overridden), options_.output, *commands_, *places_,
        [this](const std::string &message) { screen_.complain(message); },
        [this](const std::string &message) { screen_.warn(message); });
    if (!options_.post) return;
    if (!options_.script) throw UsageError("--post needs the post: a script to source before posting");
    poster_->prepare();
}

void Run::read_definition() {
    std::optional<std::string> definition = options_.definition;
    if (!definition && options_.post && options_.script) {
        // The host loads a post's pair: post.tcl and post.def beside it.
        const std::string &script = *options_.script;
        std::string name = emuhost::host_base_name(script);
        std::string beside = script.substr(0, script.size() - name.size()) + emuhost::stem(name) + ".def";
        std::optional<std::string> local = emuhost::session().windows().local_path(beside);
        if (local && emuhost::is_file(*local)) definition = beside;
    }
    engine_->start(options_.envs, definition);
}

void Run::load_plugins() {
    for (std::size_t i = 0; i < inputs_.libraries.size(); ++i) {
        try {
            load_found(inputs_.libraries[i], "ufusr");
        } catch (const std::exception &error) {
            throw UsageError(std::string("--load ") + options_.loads[i] + ": " + error.what());
        }
    }
}

void Run::load(const std::string &library, const std::string &entry) {
    std::string path = resolve_library(library);
    files_.add_input(RunFile::Library, path);
    load_found(path, entry);
}

void Run::load_found(const std::string &path, const std::string &entry) {
    auto plugin = std::make_unique<emuhost::Plugin>(path);
    plugin->run_entry(entry);
    // The interpreter now holds the library's handlers: it stays loaded.
    plugins_.push_back(std::move(plugin));
    account_.watch_commands(interp_);
    reads_->watch();
}

int Run::run_script() {
    ran_ = true;
    Tcl_Obj *path = text_obj(*options_.script);
    Tcl_IncrRefCount(path);
    int code = Tcl_FSEvalFileEx(interp_, path, nullptr);
    Tcl_DecrRefCount(path);
    // MOM_abort ends the run even where the post caught it.
    if (commands_->aborted()) {
        poster_->report_abort(commands_->abort_place());
        account_.failure(poster_->failure().substr(0, poster_->failure().find('\n')));
        return 1;
    }
    if (code != TCL_OK) {
        report_failure(code);
        return 1;
    }
    if (!options_.post || poster_->post() == 0) {
        ran_through_ = true;
        return 0;
    }
    account_.failure(poster_->failure().substr(0, poster_->failure().find('\n')));
    return 1;
}

void Run::report_failure(int code) {
    std::string message;
    if (code == TCL_ERROR) {
        message = error_info(interp_, code);
    } else if (code == TCL_BREAK) {
        message = "invoked \"break\" outside of a loop";
    } else if (code == TCL_CONTINUE) {
        message = "invoked \"continue\" outside of a loop";
    } else {
        message = "command returned bad code: " + std::to_string(code);
    }
    if (message.empty() || message.back() != '\n') message += '\n';
    std::string hint = load_hint(Tcl_GetStringResult(interp_), !plugins_.empty());
    if (!hint.empty()) message += "momsim: " + hint + "\n";
    write_channel(TCL_STDERR, message);
    std::string result = Tcl_GetStringResult(interp_);
    account_.failure("the script failed: " + result.substr(0, result.find('\n')));
}

int Run::prompt() {
    ran_ = true;
    bool tty = ::isatty(0);
    Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
    if (in == nullptr) return 0;
    Tcl_Obj *command = Tcl_NewObj();
    Tcl_IncrRefCount(command);
    bool partial = false;
    for (;;) {
        if (tty) write_channel(TCL_STDOUT, partial ? "> " : "% ");
        if (Tcl_InputBuffered(in) == 0 && !wait_for_input(0)) {
            if (tty) write_channel(TCL_STDOUT, "\n");
            end_if_pending();
        }
        Tcl_Obj *line = Tcl_NewObj();
        Tcl_IncrRefCount(line);
        int length = Tcl_GetsObj(in, line);
        if (length < 0) {
            Tcl_DecrRefCount(line);
            if (tty) write_channel(TCL_STDOUT, "\n");
            break;
        }
        if (Tcl_IsShared(command)) {
            Tcl_DecrRefCount(command);
            command = Tcl_DuplicateObj(command);
            Tcl_IncrRefCount(command);
        }
        Tcl_AppendObjToObj(command, line);
        Tcl_AppendToObj(command, "\n", 1);
        Tcl_DecrRefCount(line);
        if (!Tcl_CommandComplete(Tcl_GetString(command))) {
            partial = true;
            continue;
        }
        partial = false;
        int code = Tcl_RecordAndEvalObj(interp_, command, TCL_EVAL_GLOBAL);
        Tcl_DecrRefCount(command);
        command = Tcl_NewObj();
        Tcl_IncrRefCount(command);
        std::string result = Tcl_GetStringResult(interp_);
        if (code != TCL_OK) {
            std::string hint = load_hint(result, !plugins_.empty());
            write_channel(TCL_STDERR, result + "\n" + (hint.empty() ? "" : "momsim: " + hint + "\n"));
        } else if (tty && !result.empty()) {
            write_channel(TCL_STDOUT, result + "\n");
        }
    }
    Tcl_DecrRefCount(command);
    return 0;
}

int Run::finish(int status) {
    if (finished_) return 0;
    finished_ = true;
    emuhost::Session &host = emuhost::session();
    // Nothing the host does from here on belongs to the run.
    host.on_syslog(nullptr);
    host.on_status(nullptr);
    host.dialogs().on_record(nullptr);
    host.dialogs().set_prompt(nullptr);
    host.grip().set_resolver(nullptr);
    host.windows().set_process_hook(nullptr);
    host.windows().on_complaint(nullptr);

    int problems = account_.misfits() + screen_.finish(ran_);
    if (ran_) {
        const auto &stand_ins = account_.failed_stand_ins();
        if (!stand_ins.empty() && !options_.quiet) {
            screen_.complain(std::to_string(stand_ins.size()) + (stand_ins.size() == 1 ? " stand-in" : " stand-ins") +
                             " missing or failed:");
            for (const auto &message : stand_ins) screen_.complain("  " + message);
        }
        int misfits = account_.misfits();
        if (misfits > 0)
            screen_.complain(std::to_string(misfits) + (misfits == 1 ? " answer" : " answers") + " did not fit " +
                             (misfits == 1 ? "its dialog" : "their dialogs"));
        // Whatever way the run ended: what it assigned is what the user
        // looks for, above all after a failure.
        if (options_.save) {
            try {
                files_.open(RunFile::Save).write(host.part().to_text());
            } catch (const std::exception &error) {
                files_.open(RunFile::Save).discard();
                screen_.complain(std::string("cannot save the part: ") + error.what() + "; " + *options_.save +
                                 " was left as it was");
                ++problems;
            }
        }
    }
    // Every output replaces its file only now, complete: the records
    // however the run ended, the programs only when it ran to its end. A
    // run that never started leaves them all as they were.
    if (!ran_) files_.discard_all();
    RunFiles::Committed committed = files_.commit_all(complete(status));
    for (const auto &problem : committed.problems) {
        screen_.complain(problem);
        ++problems;
    }
    refused_ = committed.refused;
    std::string partials = report_partials(committed.partials);
    if (ran_ && !options_.quiet)
        write_channel(TCL_STDERR, account_.summary(host.part()) + engine_->summary() +
                                      (partials.empty() ? "" : "summary: outputs: " + partials + "\n"));
    if (ran_ && options_.strict && !account_.strict_causes().empty()) {
        const auto &causes = account_.strict_causes();
        std::string text = "momsim: --strict: the run fails for " + std::to_string(causes.size()) +
                           (causes.size() == 1 ? " cause:\n" : " causes:\n");
        for (const auto &cause : causes) text += "  - " + cause + "\n";
        write_channel(TCL_STDERR, text);
        ++problems;
    }
    return problems;
}

bool Run::complete(int status) const {
    if (commands_ && commands_->aborted()) return false;
    // With --post only the walk's end completes it; a script without one
    // is complete when it ended, or left with exit 0.
    return ran_through_ || (!options_.post && ran_ && status == 0);
}

std::string Run::report_partials(const std::vector<std::pair<std::string, std::string>> &partials) const {
    if (partials.empty()) return "";
    std::string stopped = poster_ && poster_->in_event() ? "the posting stopped in " + describe(poster_->position())
                          : options_.post                 ? "the posting stopped before its first event"
                                                          : "the script stopped before its end";
    std::string names, kept;
    for (std::size_t i = 0; i < partials.size(); ++i) {
        const char *joint = i == 0 ? "" : i + 1 == partials.size() ? " and " : ", ";
        names += joint + partials[i].first;
        kept += joint + partials[i].second;
    }
    std::string line = stopped + ": " + names + (partials.size() == 1 ? " was" : " were") + " left as " +
                       (partials.size() == 1 ? "it was" : "they were") + "; what the run wrote is in " + kept;
    screen_.complain(line);
    return line;
}

void Run::exit(int status) {
    stop_watching();
    if (finish(status) > 0 && status == 0) status = 1;
    if (refused_ && (status == 0 || status == 1)) status = 2;
    Tcl_SetExitProc(nullptr);
    Tcl_Exit(status);
}

}  // namespace momsim
