#include "screen.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <tcl.h>

#include "ending.h"
#include "shown.h"
#include "tcl_text.h"

namespace momsim {
namespace {

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

void add_call_site(nlohmann::ordered_json &record, const CallSite &site) {
    if (!site.command.empty()) record["command"] = site.command;
    if (!site.at.empty()) record["at"] = site.at;
}

}  // namespace

void write_channel(int which, const std::string &text) {
    Tcl_Channel channel = Tcl_GetStdChannel(which);
    if (channel == nullptr) return;
    Tcl_WriteChars(channel, text.data(), static_cast<int>(text.size()));
    Tcl_Flush(channel);
}

void Screen::complain(const std::string &message) const {
    std::string line = "momsim: " + message + "\n";
    if (tcl_) write_channel(TCL_STDERR, line);
    else std::fputs(line.c_str(), stderr);
}

void Screen::warn(const std::string &message) const {
    complain(message);
    account_.cause(message);
}

void Screen::take_dialogs(emuhost::DialogHost &dialogs, bool gui) {
    for (const auto &answer : answers_.answers) dialogs.answer(answer.text);
    dialogs.on_record([this](const emuhost::DialogRecord &record) { show_dialog(record); });
    // Asking needs someone to ask: the answer is read where the dialog is shown.
    interactive_ = ::isatty(0) && ::isatty(1);
    if (gui) {
        const char *log = std::getenv("MOMSIM_GUI_LOG");
        gui_ = std::make_unique<Gui>(log ? log : "");
        dialogs.set_prompt(
            [this](const emuhost::DialogRecord &record, const std::string &problem) {
                return gui_->ask(record, problem);
            },
            emuhost::AnswerSource::Clicked);
    } else if (interactive_)
        dialogs.set_prompt([this](const emuhost::DialogRecord &record, const std::string &problem) {
            return ask(record, problem);
        });
}

void Screen::show_status(const std::string &text) {
    std::fprintf(stderr, "status: %s\n", text.c_str());
    if (transcript_ && transcript_->active()) {
        nlohmann::ordered_json record{{"call", "UF_UI_set_status"}};
        add_call_site(record, account_.current_site());
        record["text"] = text;
        transcript_->write(record);
    }
    if (gui_) gui_->status(text);
}

void Screen::show_dialog(const emuhost::DialogRecord &record) {
    // A scripted answer, fitting or not, is the next line of the file: the
    // queue holds nothing else.
    std::string from;
    bool from_file = record.source == emuhost::AnswerSource::Scripted ||
                     (record.source == emuhost::AnswerSource::Defaulted && !record.problem.empty());
    CallSite site = account_.current_site();
    std::string command = site.command.empty() ? record.call : site.command;
    std::string where = site.at.empty() ? "" : site.at + ": ";
    account_.dialog(record);
    if (from_file && next_answer_ < answers_.answers.size()) {
        const Answer &answer = answers_.answers[next_answer_++];
        from = answers_.path + ":" + std::to_string(answer.line);
        if (!record.problem.empty()) {
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

std::optional<std::string> Screen::ask(const emuhost::DialogRecord &record, const std::string &problem) {
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

int Screen::finish(bool ran) {
    int problems = 0;
    if (gui_ && gui_->failures() > 0) {
        complain(std::to_string(gui_->failures()) + (gui_->failures() == 1 ? " window" : " windows") +
                 " failed; their dialogs took their default answers");
        problems += gui_->failures();
    }
    gui_.reset();
    if (ran) {
        const auto &answers = answers_.answers;
        for (std::size_t i = next_answer_; i < answers.size(); ++i) {
            std::string message = answers_.path + ":" + std::to_string(answers[i].line) +
                                  ": answer not used: no dialog was left to take it";
            complain(message);
            account_.unused_answer(message);
        }
    }
    return problems;
}

}  // namespace momsim
