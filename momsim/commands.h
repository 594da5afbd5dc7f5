// The plug-in's eighteen commands as momsim knows them, in one table
// (commands.cpp) that everything else in momsim asks: how many words each
// one uses, what kind of thing it does, and a hint for a script that calls
// one without loading the plug-in.
#pragma once

#include <cstddef>
#include <string>

namespace momsim {

// What a command does, as the run's account follows it.
enum class CommandKind {
    Dialog,     // shows something to the user, and may wait for an answer
    Attribute,  // assigns one attribute to a CAM object
    Stamp,      // stamps the program with attributes read from variables
    Part,       // reads the part's identity
    Ini,        // reads an INI file
    File,       // creates, empties or deletes a file
    Process,    // starts a process
    Grip,       // runs a GRIP program
};

struct PluginCommand {
    const char *name;
    int least;         // words (after the name) the command needs to do its work
    int ignored;       // 0, or the largest word count it ignores as a whole
    CommandKind kind;
};

// Every row, in the plug-in's own order.
struct PluginCommands {
    const PluginCommand *begin() const;
    const PluginCommand *end() const;
};
inline PluginCommands plugin_commands() { return {}; }

// The row of `name`; null when it is no command of the plug-in.
const PluginCommand *plugin_command(const std::string &name);

// Whether `name` is one of the plug-in's commands.
inline bool is_plugin_command(const std::string &name) { return plugin_command(name) != nullptr; }

// The words (after the command name) a call needs for the command to do
// what it is written for; a call with fewer is, in the command's own eyes,
// fine, so only momsim can point it out. Answers "" when `words` is
// enough, else why not ("MOM_uc1609 uses 3 words, given 1").
std::string short_call(const std::string &name, int words);

// For an error "invalid command name "MOM_x"" where MOM_x is a plug-in
// command and no plug-in is loaded: the hint to load it; else "".
std::string load_hint(const std::string &error_message, bool plugin_loaded);

}  // namespace momsim
