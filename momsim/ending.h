//   momsim --timeout SECONDS [options] script.tcl
//
// Ends a run from outside the script: SIGINT (Ctrl-C), SIGTERM, SIGHUP and
// --timeout. The signal only marks the ending; the run itself ends at the
// interpreter's next safe point (or at once when it waits for input), with
// everything written as after any other end. Signals that come after the
// first change nothing, so that the end is written whole; only a run that
// has not begun its end a second after the first signal (stuck outside the
// interpreter) is ended at once by the next, its temporary files removed.
#pragma once

#include <functional>
#include <string>

namespace momsim {

// Exit statuses of a run ended from outside, as shells and timeout(1)
// report them.
constexpr int kExitTimeout = 124;
constexpr int kExitHangup = 129;    // 128 + SIGHUP
constexpr int kExitInterrupt = 130; // 128 + SIGINT
constexpr int kExitTerminate = 143; // 128 + SIGTERM

struct Ending {
    int status = 0;        // one of the statuses above
    std::string message;   // how the run ended, for standard error
};

// Catches the three signals and, with `timeout_seconds` > 0, starts the
// run's clock. `end` is called in the main thread, outside any signal
// handler, and does not return.
void watch_endings(double timeout_seconds, std::function<void(const Ending &)> end);

// Whether an ending is waiting to be carried out.
bool ending_pending();

// Carries out a waiting ending (calls `end`); does nothing otherwise.
void end_if_pending();

// Waits until `fd` has input or an ending is pending; answers false for
// the latter. A blocking read of standard input goes through here, so that
// Ctrl-C at a prompt ends the run at once.
bool wait_for_input(int fd);

// Stops carrying out endings: the run is ending already, and every signal
// from now on is taken in without effect.
void stop_watching();

}  // namespace momsim
