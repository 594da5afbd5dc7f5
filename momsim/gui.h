// momsim --gui: the dialogs as Tk windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <tcl.h>

#include "emuhost/dialogs.h"

namespace momsim {

// The windows live in an interpreter of their own, with Tk loaded there
// only: the post's interpreter gains nothing, and a post that loads Tk
// itself gets its own main window. Both share the thread's event loop, so
// the post's own events go on while a window waits.
class Gui {
public:
    // Loads Tk on the display named by DISPLAY. Throws UsageError when
    // there is none or it cannot be opened. With a non-empty `log_path`,
    // each window notes what it shows there (see gui.tcl).
    explicit Gui(const std::string &log_path);
    ~Gui();
    Gui(const Gui &) = delete;
    Gui &operator=(const Gui &) = delete;

    // The dialog's prompt: shows the dialog as a window, with `problem`
    // (why the last answer was not taken) in it, and answers what the user
    // did as an answer line, or nothing when the window failed.
    std::optional<std::string> ask(const emuhost::DialogRecord &record, const std::string &problem);

    // A dialog that takes no answer: the message box and the About box
    // wait for OK, the information window stays and keeps what it shows.
    void show(const emuhost::DialogRecord &record);

    // The status line.
    void status(const std::string &text);

    // How many times a window failed (each reported on standard error; the
    // dialog then took its default answer).
    int failures() const { return failures_; }

private:
    // Calls a gui:: procedure; answers its result, or nothing after
    // reporting its error.
    std::optional<std::string> call(const std::string &procedure, const std::vector<Tcl_Obj *> &words);
    // The answer line for what the user did in a window, or nothing with
    // `problem` set when the window's answer cannot be taken.
    std::optional<std::string> answer_line(const emuhost::DialogRecord &record, const std::string &result,
                                           std::string &problem);

    Tcl_Interp *interp_ = nullptr;
    int failures_ = 0;
};

}  // namespace momsim
