// Dialogs the plug-in shows: recorded, and answered from scripted answers.
//
// Every dialog call of the host's user-interface library is kept as one
// DialogRecord, in call order, with everything the caller handed over and the
// answer it got. The modal dialogs (message dialog, file box, string input,
// real-value input) take their answer from a queue that tests and momsim fill
// beforehand. An answer is a line of text, interpreted by the dialog that
// takes it, because which dialog comes next is known only when it comes:
//
//   message dialog   a button label ("No") or a response value ("3")
//   file box         RESPONSE [FILENAME]
//   string input     RESPONSE [TEXT]
//   real values      RESPONSE [VALUE ...]
//
// RESPONSE is a decimal number from the dialog's response values below. The
// file name or text is the rest of the line after the blank that follows the
// response, blanks included; without it the field keeps its default. Real
// values are separated by blanks and replace the first values shown, in order;
// the others stay as shown.
//
// With the queue empty the prompt callback is asked (momsim asks the user on
// its terminal); without one, or when it gives nothing, the dialog takes its
// default answer:
//
//   message dialog   the first shown button
//   file box         OK with the default name
//   string input     response 3 (OK, default kept) with the default text
//   real values      OK with the values as shown
//
// A queued answer that does not fit the dialog taking it (a button that is
// not shown, a response the dialog does not have, a malformed value, an
// answer made for another kind of dialog) is an error: it is kept in
// errors() and in the record's `problem`, and the dialog takes its default.
//
// The host never writes past the caller's fields: an answered file name or
// text longer than its field is cut to the field, as a real dialog's text
// field would limit it, and the record shows what was written.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "emuhost/translator.h"

namespace emuhost {

// Response values of the file box (UF_UI_create_filebox).
enum FileboxResponse : int {
    kFileboxBack = 1,
    kFileboxCancel = 2,
    kFileboxOk = 3,
};

// Response values of the string input (uc1600): 3 means OK with the default
// text left as it was, 5 OK after the user entered a text.
enum StringInputResponse : int {
    kStringBack = 1,
    kStringCancel = 2,
    kStringDefault = 3,
    kStringEntered = 5,
};

// Response values of the real-value input (uc1609).
enum RealInputResponse : int {
    kRealsBack = 1,
    kRealsCancel = 2,
    kRealsOk = 3,
};

// The value input shows at most this many labelled values.
constexpr int kMaxRealItems = 14;

// One push button of a message dialog, as the caller described it.
struct DialogButton {
    bool shown = false;
    std::optional<std::string> label;  // nullopt: the label pointer was null
    int response = 0;
};

// UF_UI_message_dialog.
struct MessageDialog {
    std::string title;
    int type = 0;
    std::vector<std::string> lines;
    int translate = 0;  // the one-byte flag as given
    std::array<DialogButton, 3> buttons;
    // The answer: the pressed button (1 to 3) and its response value.
    int pressed = 0;
    int response = 0;
};

// uc1601: the message box with a single OK.
struct OkMessage {
    std::string text;
    int flag = 0;
};

// UF_UI_display_nonmodal_msg: the information window.
struct InfoWindow {
    std::string title;
    std::string text;
    int position = 0;
};

// UF_UI_create_filebox.
struct FileBox {
    std::string prompt;
    std::string title;
    std::string filter;
    std::string default_name;
    // The answer.
    int response = 0;
    std::string filename;
};

// uc1600: one string.
struct StringInput {
    std::string cue;
    std::string default_text;
    // The answer.
    int response = 0;
    std::string text;
};

// uc1609: labelled real values.
struct RealInput {
    std::string title;
    std::vector<std::string> labels;
    std::vector<double> values;
    bool item_given = false;  // whether the last argument was a non-null pointer
    // The answer.
    int response = 0;
    std::vector<double> answered;
};

// ShellAboutA: the About box (stand-in of the Windows shell's).
struct AboutBox {
    bool owner_given = false;
    std::string application;
    std::string other;
    bool icon_given = false;
};

using DialogDetails =
    std::variant<MessageDialog, OkMessage, InfoWindow, FileBox, StringInput, RealInput, AboutBox>;

enum class AnswerSource {
    None,       // the dialog takes no answer (message box, info window, About)
    Scripted,   // from the queue
    Prompted,   // from the prompt callback
    Clicked,    // from the prompt callback, when it shows the dialog as a window
    Defaulted,  // the default answer (queue empty, or its answer refused)
};

struct DialogRecord {
    std::string call;  // the host call's name: "uc1600", "UF_UI_message_dialog", ...
    DialogDetails details;
    AnswerSource source = AnswerSource::None;
    // The answer line taken from the queue or the prompt, even when refused.
    std::string answer;
    // Why a queued answer was refused; empty when none was.
    std::string problem;

    template <class T> const T &as() const { return std::get<T>(details); }
    template <class T> bool is() const { return std::holds_alternative<T>(details); }
};

class EMUHOST_API DialogHost {
public:
    // The prompt is asked when the queue is empty. It gets the dialog as
    // shown (answer fields not yet set) and, when its previous line did not
    // fit, why; it answers a line in the queue's format, or nothing for the
    // default answer. It is asked again until a line fits or it gives
    // nothing, and must not throw.
    using Prompt =
        std::function<std::optional<std::string>(const DialogRecord &dialog, const std::string &problem)>;

    // Forgets records, answers, errors, the prompt and the record sink.
    void reset();

    // --- answers --------------------------------------------------------
    // Queues one answer line, taken by whichever dialog comes next.
    void answer(const std::string &line);
    // Queues one answer per line of `text`; blank lines are skipped and a
    // trailing carriage return is dropped.
    void answer_lines(const std::string &text);
    // Answers that only the named kind of dialog may take.
    void answer_button(const std::string &label);
    void answer_button(int response);
    void answer_filebox(int response, std::optional<std::string> filename = std::nullopt);
    void answer_string(int response, std::optional<std::string> text = std::nullopt);
    void answer_reals(int response, const std::vector<double> &values = {});
    std::size_t pending() const { return queue_.size(); }
    void clear_answers() { queue_.clear(); }

    // `source` is what its answers are recorded as: Prompted for a prompt
    // at the terminal, Clicked for one that shows the dialog as a window.
    void set_prompt(Prompt prompt, AnswerSource source = AnswerSource::Prompted) {
        prompt_ = std::move(prompt);
        prompt_source_ = source;
    }

    // --- what was shown ---------------------------------------------------
    const std::vector<DialogRecord> &records() const { return records_; }
    // The latest record; throws std::logic_error when there is none.
    const DialogRecord &last() const;
    std::size_t count(const std::string &call) const;
    // Queued answers that did not fit the dialog that took them.
    const std::vector<std::string> &errors() const { return errors_; }
    void clear_records();
    // Called with every record once it is complete (momsim's transcript).
    void on_record(std::function<void(const DialogRecord &)> sink) { sink_ = std::move(sink); }

    // --- used by the Open API functions ---------------------------------
    // Records a dialog that takes no answer.
    const DialogRecord &show(const char *call, DialogDetails details);
    // Records a modal dialog with its answer filled in.
    const DialogRecord &ask(const char *call, DialogDetails details);

private:
    enum class Kind { Any, Message, Filebox, String, Reals };
    struct Queued {
        Kind kind = Kind::Any;  // Any: a plain line, read by the taking dialog
        std::string line;
    };
    const DialogRecord &finish(DialogRecord record);

    std::deque<Queued> queue_;
    std::vector<DialogRecord> records_;
    std::vector<std::string> errors_;
    Prompt prompt_;
    AnswerSource prompt_source_ = AnswerSource::Prompted;
    std::function<void(const DialogRecord &)> sink_;
};

}  // namespace emuhost
