// momsim's command line: what the user asked for, before anything is read.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "usage_error.h"

namespace momsim {

struct Options {
    std::vector<std::string> loads;                          // --load, in order
    std::vector<std::pair<std::string, std::string>> sets;   // --set NAME=VALUE, in order
    std::optional<std::string> answers;                      // --answers FILE
    std::optional<std::string> part;                         // --part FILE
    std::optional<std::string> save;                         // --save FILE
    std::optional<std::string> grip_dir;                     // --grip-dir DIR
    std::optional<std::string> syslog;                       // --syslog FILE
    std::optional<std::string> transcript;                   // --transcript FILE
    std::vector<std::pair<char, std::string>> drives;        // --drive X:=DIR, letter upper case
    std::optional<std::string> exec_dir;                     // --exec-dir DIR
    bool no_exec = false;                                    // --no-exec
    bool post = false;                                       // --post
    std::optional<std::string> output;                       // --output FILE
    std::optional<std::string> definition;                   // --def FILE
    std::vector<std::pair<std::string, std::string>> envs;   // --env NAME=VALUE, in order
    std::optional<std::string> clock;                        // --clock YYYY-MM-DDTHH:MM:SS
    double timeout = 0;                                      // --timeout SECONDS, 0: none
    std::optional<std::string> encoding;                     // --encoding NAME (of the answers file)
    bool strict = false;                                     // --strict
    bool quiet = false;                                      // --quiet: no summary
    // Words after the script that look like momsim's own options: warned
    // about, as they go to the script.
    std::vector<std::string> late_options;
    bool gui = false;                                        // --gui
    bool help = false;
    bool version = false;
    // The script and its own arguments; no script means the prompt.
    std::optional<std::string> script;
    std::vector<std::string> script_args;
};

// Reads the words after the program name. Throws UsageError.
Options parse_options(const std::vector<std::string> &words);

// The text --help prints.
std::string usage_text();

}  // namespace momsim
