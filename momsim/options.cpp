#include "options.h"

#include <algorithm>
#include <cstdlib>

namespace momsim {
namespace {

// Splits "--name=value" into its two halves; a word without "=" has no
// inline value.
std::pair<std::string, std::optional<std::string>> split_inline(const std::string &word) {
    auto equals = word.find('=');
    if (equals == std::string::npos) return {word, std::nullopt};
    return {word.substr(0, equals), word.substr(equals + 1)};
}

void set_once(std::optional<std::string> &slot, const std::string &option, std::string value) {
    if (slot) throw UsageError(option + " given twice");
    if (value.empty()) throw UsageError(option + " needs a non-empty value");
    slot = std::move(value);
}

std::pair<std::string, std::string> parse_assignment(const std::string &text, const std::string &option = "--set") {
    auto equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError(option + " " + text + ": expected NAME=VALUE");
    std::string name = text.substr(0, equals);
    if (name.empty()) throw UsageError(option + " " + text + ": the variable name is empty");
    return {name, text.substr(equals + 1)};
}

// "X:=DIR": a drive letter and the folder it stands for.
std::pair<char, std::string> parse_drive(const std::string &text) {
    char letter = text.empty() ? '\0' : text[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (text.size() < 3 || letter < 'A' || letter > 'Z' || text.compare(1, 2, ":=") != 0)
        throw UsageError("--drive " + text + ": expected a drive letter and a folder, as in C:=DIR");
    if (text.size() == 3) throw UsageError("--drive " + text + ": the folder is empty");
    return {letter, text.substr(3)};
}

// A positive number of seconds.
double parse_seconds(const std::string &value, double earlier) {
    if (earlier > 0) throw UsageError("--timeout given twice");
    char *end = nullptr;
    double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 1e9)
        throw UsageError("--timeout " + value + ": expected a number of seconds greater than 0");
    return seconds;
}

// momsim's own options: those that stand alone and those that take a
// value. One list for parsing and for noticing an option given after the
// script, so that no new option is left out of either.
const std::pair<const char *, bool Options::*> kFlags[] = {
    {"--help", &Options::help}, {"-h", &Options::help},         {"--version", &Options::version},
    {"--gui", &Options::gui},   {"--post", &Options::post},     {"--no-exec", &Options::no_exec},
    {"--strict", &Options::strict}, {"--quiet", &Options::quiet}};
const char *const kWithValue[] = {"--load",   "--set",      "--answers", "--part",       "--save",
                                  "--grip-dir", "--syslog", "--transcript", "--output",   "--clock",
                                  "--timeout", "--encoding", "--drive",   "--exec-dir", "--def", "--env"};

template <std::size_t N>
bool listed(const char *const (&names)[N], const std::string &name) {
    for (const char *known : names)
        if (name == known) return true;
    return false;
}

// The switch an option that stands alone sets; null for any other word.
bool Options::*flag_of(const std::string &name) {
    for (const auto &[flag, member] : kFlags)
        if (name == flag) return member;
    return nullptr;
}

bool is_momsim_option(const std::string &name) { return flag_of(name) != nullptr || listed(kWithValue, name); }

// How many letters must be typed, left out, changed or swapped with the
// next one to turn `a` into `b` (optimal string alignment).
std::size_t typing_distance(const std::string &a, const std::string &b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// "unknown option --psot: did you mean --post?", the suggestion being the
// option nearest to what was typed, when one is near enough to be meant.
std::string unknown_option(const std::string &name) {
    std::string nearest;
    std::size_t best = 3;  // more than two slips is another word
    auto consider = [&](const std::string &known) {
        std::size_t distance = typing_distance(name, known);
        if (distance < best && distance < known.size() / 2) {
            best = distance;
            nearest = known;
        }
    };
    for (const auto &flag : kFlags) consider(flag.first);
    for (const char *option : kWithValue) consider(option);
    return "unknown option " + name + (nearest.empty() ? "" : ": did you mean " + nearest + "?");
}

}  // namespace

Options parse_options(const std::vector<std::string> &words) {
    Options options;
    bool passed_on = false;  // "--" came before the script
    std::size_t i = 0;
    while (i < words.size()) {
        const std::string &word = words[i];
        if (word == "--") {
            ++i;
            passed_on = true;
            break;
        }
        if (word.size() < 2 || word[0] != '-') break;  // the script ("-" alone too)
        ++i;
        auto [name, inline_value] = split_inline(word);
        if (bool Options::*flag = flag_of(name)) {
            if (inline_value) throw UsageError(name + " takes no value");
            options.*flag = true;
            continue;
        }
        if (!listed(kWithValue, name)) throw UsageError(unknown_option(name));
        std::string value;
        if (inline_value) {
            value = *inline_value;
        } else {
            if (i == words.size()) throw UsageError(name + " needs a value");
            value = words[i++];
        }
        if (name == "--load") {
            if (value.empty()) throw UsageError("--load needs a non-empty value");
            options.loads.push_back(value);
        } else if (name == "--set") {
            options.sets.push_back(parse_assignment(value));
        } else if (name == "--answers") {
            set_once(options.answers, name, value);
        } else if (name == "--part") {
            set_once(options.part, name, value);
        } else if (name == "--save") {
            set_once(options.save, name, value);
        } else if (name == "--grip-dir") {
            set_once(options.grip_dir, name, value);
        } else if (name == "--output") {
            set_once(options.output, name, value);
        } else if (name == "--def") {
            set_once(options.definition, name, value);
        } else if (name == "--env") {
            options.envs.push_back(parse_assignment(value, name));
        } else if (name == "--clock") {
            set_once(options.clock, name, value);
        } else if (name == "--syslog") {
            set_once(options.syslog, name, value);
        } else if (name == "--drive") {
            auto drive = parse_drive(value);
            for (const auto &given : options.drives)
                if (given.first == drive.first)
                    throw UsageError("--drive " + std::string(1, drive.first) + ": given twice");
            options.drives.push_back(drive);
        } else if (name == "--exec-dir") {
            set_once(options.exec_dir, name, value);
        } else if (name == "--timeout") {
            options.timeout = parse_seconds(value, options.timeout);
        } else if (name == "--encoding") {
            set_once(options.encoding, name, value);
        } else {
            set_once(options.transcript, name, value);
        }
    }
    if (options.no_exec && options.exec_dir)
        throw UsageError("--no-exec and --exec-dir exclude each other: --no-exec starts nothing at all");
    if (i < words.size()) {
        options.script = words[i++];
        options.script_args.assign(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
        // An option written after the script is the script's word; it may
        // well have been meant for momsim.
        for (const auto &arg : options.script_args)
            if (!passed_on && is_momsim_option(split_inline(arg).first)) options.late_options.push_back(arg);
    }
    return options;
}

std::string usage_text() {
    return R"(Usage: momsim [options] [script.tcl [arg ...]]

Runs a post-processor script in a Tcl 8.6 interpreter that stands in for the
host's post-processor, with the emulated host's Open API behind it. Without a
script, momsim reads commands at a prompt, like tclsh. Options come before
the script; everything after the script goes to it in $argv.

Options:
  --load LIB          load the plug-in LIB and run its ufusr before the script
                      (repeatable); "tarvex" finds the plug-in that was built
                      or installed with momsim
  --set NAME=VALUE    set the post-processor variable NAME, the Tcl global
                      mom_NAME, before the script (repeatable)
  --answers FILE      scripted dialog answers, one per line, used in order;
                      an answer that does not fit its dialog is reported as
                      FILE:LINE and the dialog takes its default
  --part FILE         the part and its CAM objects, as JSON (default: the
                      demo part)
  --save FILE         write the part to FILE after the run, however it ends
  --grip-dir DIR      where GRIP program stand-ins live: NAME.tcl beside the
                      program .../NAME.grx runs first, then DIR/NAME.tcl,
                      then the one in the part's grip_dir (relative to the
                      part file)
  --syslog FILE       write the host's system log to FILE (default: standard
                      error, each line prefixed "syslog: ")
  --transcript FILE   record everything shown to the user as JSON Lines, and
                      every process the post starts
  --post              after the script (the post) is sourced, post the part:
                      call its event procedures for the selected operations
                      (or the whole program), with the host's mom_ variables
  --def FILE          the post's definition file (formats, addresses, block
                      templates; default with --post: SCRIPT.def beside the
                      post when there is one)
  --env NAME=VALUE    set the environment variable NAME for the run, as
                      MOM_ask_env_var and INCLUDE read it (repeatable)
  --output FILE       the NC output of MOM_output_literal and MOM_output_text
                      (default: mom_output_file_full_name); the listing goes
                      beside it, with the extension .lpt. Both replace their
                      files only when the posting ends normally; otherwise
                      they stay and what was written is kept as FILE.partial
  --clock TIME        the host's clock stands still at TIME, written
                      YYYY-MM-DDTHH:MM:SS: mom_date and time stamps repeat
  --timeout SECONDS   end the run after SECONDS (stand-ins included), as
                      Ctrl-C ends it; exit status 124
  --encoding NAME     the Tcl encoding of the answers file (default: utf-8,
                      a byte-order mark skipped)
  --strict            exit 1, listing each cause, when a dialog took its
                      default, an answer did not fit or was left over, a
                      GRIP or process stand-in was missing or failed, a
                      command got fewer words than it uses,
                      MOM_set_attribute_program stamped nothing, the post
                      called a host command that momsim only accepts, or
                      momsim warned about anything else
  --quiet             no summary of the run on standard error
  --drive X:=DIR      drive X: is the folder DIR (repeatable): paths the post
                      hands to the plug-in, to MOM_run_user_function and to
                      its own file commands, and those given to momsim, are
                      read as Windows reads them (X:\ or X:/, either slash,
                      names in any case)
  --exec-dir DIR      run DIR/NAME.tcl in place of a program NAME.exe that
                      MOM_run_exec or MOM_shell_exec starts, the child's
                      words in argv
  --no-exec           record the processes the post starts, start none
  --gui               show each dialog that has no scripted answer left as a
                      window (Tk) and wait for the user; needs an X display
  --help              show this text
  --version           show momsim's version

Scripts load a plug-in themselves with MOM_run_user_function LIB ENTRY.
With no scripted answer left, a dialog is shown as a window with --gui, or
else asked at the terminal when standard input and output are one;
otherwise it takes its default answer.

Exit status: 0 when the script ends normally; 1 when it fails (the error goes
to standard error), or when it ended normally but a scripted answer did not
fit its dialog or the part could not be saved; 2 for a usage error or an
unreadable input file; a script's own "exit N" gives N (0 turning into 1 as
above); 124 when --timeout ended the run, 129, 130 and 143 when SIGHUP,
SIGINT (Ctrl-C) or SIGTERM did. --save, --transcript and --syslog are
written however the run ends; the NC output and its listing only when the
posting ended normally, and otherwise kept beside the old files as
NAME.partial. An output file is refused (status 2) when it is an input,
another output or a file the post read, or when it exists and is plainly no
earlier output of its kind (a script, an answers, INI or part file).
)";
}

}  // namespace momsim
