// The plug-in's eighteen commands as momsim knows them: how many words each
// one uses, where in the script the one running now was written, and a
// hint for a script that calls one without loading the plug-in.
#pragma once

#include <string>

#include <tcl.h>

namespace momsim {

// Whether `name` is one of the plug-in's commands.
bool is_plugin_command(const std::string &name);

// The words (after the command name) a call needs for the command to do
// what it is written for; a call with fewer is, in the command's own eyes,
// fine, so only momsim can point it out. Answers "" when `words` is
// enough, else why not ("MOM_uc1609 uses 3 words, given 1").
std::string short_call(const std::string &name, int words);

// The plug-in command running now and where it was written: `command` the
// MOM_ name (empty when none runs), `at` FILE:LINE of the script (empty
// when the command came from no file, as at the prompt).
struct CallSite {
    std::string command;
    std::string at;
};
CallSite current_call(Tcl_Interp *interp);

// For an error "invalid command name "MOM_x"" where MOM_x is a plug-in
// command and no plug-in is loaded: the hint to load it; else "".
std::string load_hint(const std::string &error_message, bool plugin_loaded);

}  // namespace momsim
