//   momsim [--gui] [--answers FILE] [--transcript FILE] [options] script.tcl
//
// Everything the run shows the user while it runs: complaints and the
// status line on standard error, and each dialog in the transcript, at the
// terminal and, with --gui, in a window. A dialog that no scripted answer
// was left for is asked where it is shown.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "account.h"
#include "answers.h"
#include "emuhost/dialogs.h"
#include "gui.h"
#include "logs.h"

namespace momsim {

// Writes `text` (UTF-8) to one of Tcl's standard channels (TCL_STDOUT,
// TCL_STDERR) and flushes it.
void write_channel(int which, const std::string &text);

class Screen {
public:
    // Dialogs are counted in `account`; scripted answers come from `answers`.
    Screen(Account &account, const AnswerFile &answers) : account_(account), answers_(answers) {}
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    // From now on through Tcl's standard channels, so that what momsim says
    // keeps its order with what the script prints.
    void use_tcl_channels() { tcl_ = true; }

    // "momsim: MESSAGE" on standard error.
    void complain(const std::string &message) const;
    // The same for a warning, which is also a cause that fails a --strict
    // run: whatever momsim warns about, a CI job must not pass over.
    void warn(const std::string &message) const;

    // Where each dialog and status line is recorded as well.
    void record_in(Transcript &transcript) { transcript_ = &transcript; }

    // Takes the host's dialogs: the scripted answers queued, each dialog
    // shown as it happens, one with no scripted answer left asked in a
    // window with `gui` (UsageError where there is no display), else at the
    // terminal when standard input and output are one; otherwise it takes
    // its default.
    void take_dialogs(emuhost::DialogHost &dialogs, bool gui);

    // The host's status line.
    void show_status(const std::string &text);

    // The end of the run: windows that failed and, when the script or the
    // prompt `ran`, answers left over are reported. Answers how many of
    // those fail a run that ended cleanly.
    int finish(bool ran);

private:
    void show_dialog(const emuhost::DialogRecord &record);
    std::optional<std::string> ask(const emuhost::DialogRecord &record, const std::string &problem);

    Account &account_;
    const AnswerFile &answers_;
    Transcript *transcript_ = nullptr;
    std::unique_ptr<Gui> gui_;     // --gui
    bool interactive_ = false;     // dialogs are asked at a terminal
    bool tcl_ = false;
    std::size_t next_answer_ = 0;  // the next line of the answers file a dialog takes
};

}  // namespace momsim
