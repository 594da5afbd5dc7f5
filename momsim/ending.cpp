#include "ending.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <time.h>
#include <thread>
#include <unistd.h>

#include <tcl.h>

#include "atomic_file.h"

namespace momsim {
namespace {

// What the signal handler may touch: a flag and two pipes. Tcl's async
// mark takes locks, so a thread of our own makes it on the handler's word.
volatile std::sig_atomic_t caught = 0;
// The run's end is being carried out (or it ended normally): every later
// signal is taken in and changes nothing, so that the end is written whole.
volatile std::sig_atomic_t ending_begun = 0;
// When the first signal came; a run that has not begun its end a second
// after it is stuck outside the interpreter, and a further signal ends it
// at once.
timespec caught_at{};
constexpr long kStuckMilliseconds = 1000;
int wake_pipe[2] = {-1, -1};    // read by wait_for_input()
int marker_pipe[2] = {-1, -1};  // read by the marking thread
Tcl_AsyncHandler async_token = nullptr;
double timeout_given = 0.0;
bool watching = false;

std::function<void(const Ending &)> &end_callback() {
    static std::function<void(const Ending &)> callback;
    return callback;
}

long milliseconds_since(const timespec &then) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - then.tv_sec) * 1000L + (now.tv_nsec - then.tv_nsec) / 1000000L;
}

// Only what a signal handler may do: a flag, the clock, write, unlink and
// _exit.
void on_signal(int number) {
    int saved = errno;
    if (caught == 0) {
        ::clock_gettime(CLOCK_MONOTONIC, &caught_at);
        caught = number;
        char byte = 1;
        for (int fd : {wake_pipe[1], marker_pipe[1]}) {
            if (fd < 0) continue;
            ssize_t ignored = ::write(fd, &byte, 1);
            (void)ignored;
        }
    } else if (ending_begun == 0 && number != SIGALRM && milliseconds_since(caught_at) >= kStuckMilliseconds) {
        // The run never reached a point where it could end: end it here,
        // leaving every output as it was before the run.
        remove_temporary_files();
        static const char message[] =
            "momsim: signalled again while the run could not end: stopped at once, every output left as it was "
            "before the run\n";
        ssize_t ignored = ::write(2, message, sizeof message - 1);
        (void)ignored;
        ::_exit(128 + number);
    }
    errno = saved;
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

Ending ending_of(int number) {
    switch (number) {
    case SIGALRM:
        return {kExitTimeout, "the run took longer than --timeout " + seconds_text(timeout_given) +
                                  " seconds and was ended; what it wrote is kept"};
    case SIGHUP: return {kExitHangup, "hung up (SIGHUP): the run was ended; what it wrote is kept"};
    case SIGTERM: return {kExitTerminate, "terminated (SIGTERM): the run was ended; what it wrote is kept"};
    default: return {kExitInterrupt, "interrupted (SIGINT): the run was ended; what it wrote is kept"};
    }
}

// Runs where Tcl is safe to re-enter: between two commands of the script,
// a stand-in or the prompt.
int on_async(ClientData, Tcl_Interp *, int code) {
    end_if_pending();
    return code;
}

}  // namespace

void watch_endings(double timeout_seconds, std::function<void(const Ending &)> end) {
    end_callback() = std::move(end);
    timeout_given = timeout_seconds;
    if (wake_pipe[0] < 0 && ::pipe(wake_pipe) == 0) {
        for (int fd : wake_pipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    if (!async_token) {
        // Created in the thread that runs the interpreter: that is where
        // the handler runs.
        async_token = Tcl_AsyncCreate(on_async, nullptr);
        if (::pipe(marker_pipe) == 0) {
            for (int fd : marker_pipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(marker_pipe[1], F_SETFL, O_NONBLOCK);
            std::thread([] {
                char byte = 0;
                for (;;) {
                    ssize_t got = ::read(marker_pipe[0], &byte, 1);
                    if (got == 1) Tcl_AsyncMark(async_token);
                    else if (got == 0 || errno != EINTR) return;
                }
            }).detach();
        }
    }
    watching = true;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGALRM}) sigaddset(&action.sa_mask, number);
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGALRM}) ::sigaction(number, &action, nullptr);
    if (timeout_seconds > 0) {
        itimerval timer {};
        double whole = std::floor(timeout_seconds);
        timer.it_value.tv_sec = static_cast<time_t>(whole);
        timer.it_value.tv_usec = static_cast<suseconds_t>((timeout_seconds - whole) * 1e6);
        if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
        ::setitimer(ITIMER_REAL, &timer, nullptr);
    }
}

bool ending_pending() { return watching && caught != 0; }

void end_if_pending() {
    if (!ending_pending() || !end_callback()) return;
    Ending ending = ending_of(caught);
    stop_watching();
    end_callback()(ending);
}

bool wait_for_input(int fd) {
    for (;;) {
        if (ending_pending()) return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
        int ready = ::poll(fds, wake_pipe[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno != EINTR) return true;  // let the read itself report it
        if (ending_pending()) return false;
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return true;
    }
}

void stop_watching() {
    watching = false;
    ending_begun = 1;
    itimerval off {};
    ::setitimer(ITIMER_REAL, &off, nullptr);
}

}  // namespace momsim
