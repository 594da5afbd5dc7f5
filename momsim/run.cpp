#include "run.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include "commands.h"
#include "ending.h"
#include "locate.h"
#include "tcl_text.h"
#include "shown.h"

namespace momsim {
namespace {

Run *the_run = nullptr;

// Tcl's exit (the script's "exit" command or our own end) comes here
// first, so that a script that exits early still gets its end of run.
TCL_NORETURN1 void exit_proc(ClientData data) {
    int status = static_cast<int>(reinterpret_cast<intptr_t>(data));
    the_run->exit(status);
}

void write_channel(int which, const std::string &text) {
    Tcl_Channel channel = Tcl_GetStdChannel(which);
    if (channel == nullptr) return;
    Tcl_WriteChars(channel, text.data(), static_cast<int>(text.size()));
    Tcl_Flush(channel);
}

// The host's MOM_run_user_function LIBRARY ENTRY: scripts that load the
// plug-in themselves run here as they run in the host.
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

// "RESPONSE" or "RESPONSE TEXT": a whole number as the first word.
bool starts_with_response(const std::string &line) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return false;
    std::size_t end = start;
    if (line[end] == '-' || line[end] == '+') ++end;
    std::size_t digits = end;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
    return end > digits && (end == line.size() || line[end] == ' ' || line[end] == '\t');
}

}  // namespace

Run::Run(Options options, Inputs inputs) : options_(std::move(options)), inputs_(std::move(inputs)) {
    add_run_files(outputs_, options_, inputs_);
}

Run::~Run() {
    stop_watching();
    finish();
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
        complain(ending.message);
        account_.failure(ending.message.substr(0, ending.message.find_first_of(":;")));
        exit(ending.status);
    });

    // Output files first: a bad one stops the run before anything ran.
    outputs_.check();
    syslog_ = options_.syslog ? std::make_unique<Syslog>(outputs_.open("--syslog")) : std::make_unique<Syslog>();
    transcript_ = options_.transcript ? std::make_unique<Transcript>(outputs_.open("--transcript"))
                                      : std::make_unique<Transcript>();
    if (options_.save) outputs_.open("--save");

    interp_ = Tcl_CreateInterp();
    if (Tcl_Init(interp_) != TCL_OK) {
        // Without Tcl's script library the interpreter still runs scripts;
        // only library procedures and packages are missing.
        std::fprintf(stderr, "momsim: Tcl initialisation failed: %s\n", Tcl_GetStringResult(interp_));
        Tcl_ResetResult(interp_);
    }
    the_run = this;
    Tcl_SetExitProc(exit_proc);

    // The plug-in prints through C's standard output and the script through
    // Tcl's: line buffering on both keeps their lines in order.
    Tcl_SetChannelOption(nullptr, Tcl_GetStdChannel(TCL_STDOUT), "-buffering", "line");

    bool interactive = !options_.script && ::isatty(0);
    std::string script_name = options_.script ? to_utf8(*options_.script) : to_utf8(argv0);
    Tcl_Obj *argv = Tcl_NewListObj(0, nullptr);
    for (const auto &arg : options_.script_args) {
        std::string utf = to_utf8(arg);
        Tcl_ListObjAppendElement(nullptr, argv, Tcl_NewStringObj(utf.data(), static_cast<int>(utf.size())));
    }
    Tcl_SetVar2Ex(interp_, "argv0", nullptr, Tcl_NewStringObj(script_name.c_str(), -1), TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "argv", nullptr, argv, TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "argc", nullptr, Tcl_NewIntObj(static_cast<int>(options_.script_args.size())),
                  TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp_, "tcl_interactive", nullptr, Tcl_NewIntObj(interactive ? 1 : 0), TCL_GLOBAL_ONLY);

    emuhost::Session &host = emuhost::session();
    host.reset(emuhost::make_tcl_translator(interp_));
    host.on_syslog([this](const std::string &text) {
        account_.syslog(text);
        if (syslog_) syslog_->write(text);
    });
    host.on_status([this](const std::string &text) { show_status(text); });

    Tcl_CreateObjCommand(interp_, "MOM_run_user_function", run_user_function, this, nullptr);
    poster_ = std::make_unique<Poster>(interp_, options_, outputs_, [this](const std::string &message) { complain(message); });
    poster_->install();
    engine_ = std::make_unique<OutputEngine>(
        interp_, *poster_, outputs_, [this](const std::string &message) { complain(message); },
        [this](const std::string &cause) { account_.cause(cause); });
    engine_->install();

    // Drives first: every path from here on may name one.
    host.windows().on_complaint([this](const std::string &message) { complain(message); });
    map_drives(options_.drives);
    drive_fs_ = std::make_unique<DriveFilesystem>(interp_);
    auto failed = [this](const std::string &message) {
        failed_stand_ins_.push_back(message.substr(0, message.find('\n')));
    };
    // A process stand-in that is missing or fails fails a --strict run too.
    auto process_failed = [this, failed](const std::string &message) {
        account_.cause(message.substr(0, message.find('\n')));
        failed(message);
    };
    ExecMode mode = options_.no_exec ? ExecMode::Record : options_.exec_dir ? ExecMode::StandIn : ExecMode::Start;
    exec_ = std::make_unique<ProcessStandIns>(interp_, mode, options_.exec_dir.value_or(""), *transcript_,
                                              [this](const std::string &message) { complain(message); },
                                              process_failed);
    host.windows().set_process_hook(
        [this](const emuhost::ProcessStart &start) { return exec_->decide(start); });

    if (!inputs_.part_path.empty()) {
        try {
            host.part().load(inputs_.part_path);
        } catch (const emuhost::PartFileError &error) {
            throw UsageError(error.what());
        }
    }
    if (options_.clock) {
        auto when = emuhost::from_iso8601(*options_.clock);
        if (!when) throw UsageError("--clock " + *options_.clock + ": expected a local time YYYY-MM-DDTHH:MM:SS");
        host.part().fix_clock(*when);
    }
    // The part's grip_dir is read relative to the part file, so that a part
    // and its stand-ins move together.
    std::string part_grip_dir = host.part().grip_dir();
    if (!part_grip_dir.empty()) {
        auto slash = inputs_.part_path.rfind('/');
        if (part_grip_dir[0] != '/' && slash != std::string::npos)
            part_grip_dir = inputs_.part_path.substr(0, slash + 1) + part_grip_dir;
    }
    grip_ = std::make_unique<GripStandIns>(
        interp_, inputs_.grip_dir, part_grip_dir, [this](const std::string &message) { complain(message); },
        [this, failed](const std::string &message) {
            account_.grip_failed(message);
            failed(message);
        });
    host.grip().set_resolver([this](const std::string &program) -> emuhost::GripProgram {
        emuhost::GripProgram stand_in = grip_->resolve(program);
        if (!stand_in) return stand_in;
        return [this, stand_in](emuhost::GripRun &call) {
            account_.grip_started();
            return stand_in(call);
        };
    });

    for (const auto &answer : inputs_.answers.answers) host.dialogs().answer(answer.text);
    host.dialogs().on_record([this](const emuhost::DialogRecord &record) { show_dialog(record); });
    // Asking needs someone to ask: the answer is read where the dialog is shown.
    interactive_ = ::isatty(0) && ::isatty(1);
    if (options_.gui) {
        const char *log = std::getenv("MOMSIM_GUI_LOG");
        gui_ = std::make_unique<Gui>(log ? log : "");
        host.dialogs().set_prompt(
            [this](const emuhost::DialogRecord &record, const std::string &problem) {
                return gui_->ask(record, problem);
            },
            emuhost::AnswerSource::Clicked);
    } else if (interactive_)
        host.dialogs().set_prompt([this](const emuhost::DialogRecord &record, const std::string &problem) {
            return ask_user(record, problem);
        });

    // Set in Tcl itself, so that a name Tcl refuses (an element of a
    // variable set before as a scalar, say) stops the run instead of
    // vanishing.
    for (const auto &[name, value] : options_.sets) {
        std::string variable = "mom_" + to_utf8(name);
        if (Tcl_SetVar2(interp_, variable.c_str(), nullptr, to_utf8(value).c_str(),
                        TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG) == nullptr)
            throw UsageError("--set " + name + "=" + value + ": " + Tcl_GetStringResult(interp_));
    }

    if (options_.post) {
        if (!options_.script) throw UsageError("--post needs the post: a script to source before posting");
        poster_->prepare();
    }
    engine_->start(options_);

    for (const auto &library : options_.loads) {
        try {
            load(library, "ufusr");
        } catch (const std::exception &error) {
            throw UsageError(std::string("--load ") + library + ": " + error.what());
        }
    }
}

void Run::load(const std::string &library, const std::string &entry) {
    std::string path = resolve_library(library);
    outputs_.add_input("the library", path);
    auto plugin = std::make_unique<emuhost::Plugin>(path);
    plugin->run_entry(entry);
    // The interpreter now holds the library's handlers: it stays loaded.
    plugins_.push_back(std::move(plugin));
    account_.watch_commands(interp_);
}

void Run::show_status(const std::string &text) {
    std::fprintf(stderr, "status: %s\n", text.c_str());
    if (transcript_ && transcript_->active()) {
        nlohmann::ordered_json record{{"call", "UF_UI_set_status"}};
        add_call_site(record, account_.current_site());
        record["text"] = text;
        transcript_->write(record);
    }
    if (gui_) gui_->status(text);
}

void Run::add_call_site(nlohmann::ordered_json &record, const CallSite &site) {
    if (!site.command.empty()) record["command"] = site.command;
    if (!site.at.empty()) record["at"] = site.at;
}

void Run::complain(const std::string &message) {
    std::string line = "momsim: " + message + "\n";
    if (interp_) write_channel(TCL_STDERR, line);
    else std::fputs(line.c_str(), stderr);
}

void Run::show_dialog(const emuhost::DialogRecord &record) {
    // A scripted answer, fitting or not, is the next line of the file: the
    // queue holds nothing else.
    std::string from;
    bool from_file = record.source == emuhost::AnswerSource::Scripted ||
                     (record.source == emuhost::AnswerSource::Defaulted && !record.problem.empty());
    CallSite site = account_.current_site();
    std::string command = site.command.empty() ? record.call : site.command;
    std::string where = site.at.empty() ? "" : site.at + ": ";
    account_.dialog(record);
    if (from_file && next_answer_ < inputs_.answers.answers.size()) {
        const Answer &answer = inputs_.answers.answers[next_answer_++];
        from = inputs_.answers.path + ":" + std::to_string(answer.line);
        if (!record.problem.empty()) {
            ++misfits_;
            std::string message = from + ": " + record.problem + "; the dialog took its default answer";
            complain(message + (site.at.empty() ? "" : " (" + command + " at " + site.at + ")"));
            account_.misfit(message);
        }
    } else if (record.source == emuhost::AnswerSource::Defaulted && !interactive_) {
        // Nobody was asked: say so where the user looks, not only in the
        // transcript.
        std::string message = where + command + " took its default answer (" + answer_gist(record) +
                              "): no answer was left for \"" + dialog_gist(record) + "\"";
        complain(message);
        account_.cause(message);
    }
    // What only shows, and waits for nobody, is still shown to a user at
    // the terminal.
    if (interactive_ && !takes_answer(record)) write_channel(TCL_STDOUT, dialog_text(record));
    if (transcript_ && transcript_->active()) {
        nlohmann::ordered_json entry = transcript_record(record, from);
        nlohmann::ordered_json out{{"call", entry["call"]}};
        add_call_site(out, site);
        for (auto it = entry.begin(); it != entry.end(); ++it)
            if (it.key() != "call") out[it.key()] = it.value();
        transcript_->write(out);
    }
    if (gui_ && !takes_answer(record)) gui_->show(record);
}

std::optional<std::string> Run::ask_user(const emuhost::DialogRecord &record, const std::string &problem) {
    Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
    if (in == nullptr) return std::nullopt;
    if (problem.empty()) write_channel(TCL_STDOUT, dialog_text(record));
    else write_channel(TCL_STDOUT, "  that answer does not fit: " + problem + "\n");
    write_channel(TCL_STDOUT, answer_request(record));
    if (Tcl_InputBuffered(in) == 0 && !wait_for_input(0)) {
        write_channel(TCL_STDOUT, "\n");
        end_if_pending();
    }
    Tcl_Obj *line = Tcl_NewObj();
    Tcl_IncrRefCount(line);
    int length = Tcl_GetsObj(in, line);
    std::optional<std::string> answer;
    // End of input or an empty line: the default answer.
    if (length > 0) answer = to_native(line);
    else if (length < 0) write_channel(TCL_STDOUT, "\n");
    Tcl_DecrRefCount(line);
    if (answer && answer->find_first_not_of(" \t") == std::string::npos) answer.reset();
    // At the terminal a string dialog takes plain text as what it asks
    // for: OK with that text, as typing into the dialog would.
    if (answer && record.is<emuhost::StringInput>() && !starts_with_response(*answer)) *answer = "5 " + *answer;
    return answer;
}

int Run::run_script() {
    ran_ = true;
    std::string utf = to_utf8(*options_.script);
    Tcl_Obj *path = Tcl_NewStringObj(utf.data(), static_cast<int>(utf.size()));
    Tcl_IncrRefCount(path);
    int code = Tcl_FSEvalFileEx(interp_, path, nullptr);
    Tcl_DecrRefCount(path);
    // MOM_abort ends the run even where the post caught it.
    if (poster_->aborted()) {
        std::string where = poster_->location_of(error_info(interp_, code));
        poster_->report_abort(where);
        account_.failure(poster_->failure().substr(0, poster_->failure().find('\n')));
        return 1;
    }
    if (code != TCL_OK) {
        report_failure(code);
        return 1;
    }
    if (!options_.post || poster_->post() == 0) return 0;
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

int Run::finish() {
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

    int problems = misfits_;
    if (gui_ && gui_->failures() > 0) {
        complain(std::to_string(gui_->failures()) + (gui_->failures() == 1 ? " window" : " windows") +
                 " failed; their dialogs took their default answers");
        problems += gui_->failures();
    }
    gui_.reset();
    if (ran_) {
        const auto &answers = inputs_.answers.answers;
        for (std::size_t i = next_answer_; i < answers.size(); ++i) {
            std::string message = inputs_.answers.path + ":" + std::to_string(answers[i].line) +
                                  ": answer not used: no dialog was left to take it";
            complain(message);
            account_.unused_answer(message);
        }
        if (!failed_stand_ins_.empty() && !options_.quiet) {
            std::size_t count = failed_stand_ins_.size();
            complain(std::to_string(count) + (count == 1 ? " stand-in" : " stand-ins") +
                     " missing or failed:");
            for (const auto &message : failed_stand_ins_) complain("  " + message);
        }
        if (misfits_ > 0)
            complain(std::to_string(misfits_) + (misfits_ == 1 ? " answer" : " answers") +
                     " did not fit " + (misfits_ == 1 ? "its dialog" : "their dialogs"));
        // Whatever way the run ended: what it assigned is what the user
        // looks for, above all after a failure.
        if (!inputs_.save.empty()) {
            try {
                outputs_.open("--save").write(host.part().to_text());
            } catch (const std::exception &error) {
                outputs_.open("--save").discard();
                complain(std::string("cannot save the part: ") + error.what() + "; " + inputs_.save +
                         " was left as it was");
                ++problems;
            }
        }
    }
    if (ran_ && !options_.quiet) write_channel(TCL_STDERR, account_.summary(host.part()) + engine_->summary());
    if (ran_ && options_.strict && !account_.strict_causes().empty()) {
        const auto &causes = account_.strict_causes();
        std::string text = "momsim: --strict: the run fails for " + std::to_string(causes.size()) +
                           (causes.size() == 1 ? " cause:\n" : " causes:\n");
        for (const auto &cause : causes) text += "  - " + cause + "\n";
        write_channel(TCL_STDERR, text);
        ++problems;
    }
    transcript_.reset();
    syslog_.reset();
    // Every output replaces its file only now, complete; a run that never
    // started leaves them all as they were.
    if (!ran_) outputs_.discard_all();
    for (const auto &problem : outputs_.commit_all()) {
        complain(problem);
        ++problems;
    }
    return problems;
}

void Run::exit(int status) {
    stop_watching();
    if (finish() > 0 && status == 0) status = 1;
    Tcl_SetExitProc(nullptr);
    Tcl_Exit(status);
}

}  // namespace momsim
