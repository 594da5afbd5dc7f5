#include "commands.h"

#include <cstring>
#include <iterator>

namespace momsim {
namespace {

using Kind = CommandKind;

// One row per command: its name, the fewest words it needs, the word
// counts it ignores, and its kind. MOM_set_attribute_program reads
// variables with up to three words and ignores them: one to three words
// are a call that meant the four-word form.
const PluginCommand kCommands[] = {
    {"MOM_box_message", 1, 0, Kind::Dialog},
    {"MOM_ui_message", 1, 0, Kind::Dialog},
    {"MOM_abort_ex", 1, 0, Kind::Dialog},
    {"MOM_info_message", 1, 0, Kind::Dialog},
    {"MOM_ui_filebox", 0, 0, Kind::Dialog},
    {"MOM_uc1600", 0, 0, Kind::Dialog},
    {"MOM_uc1609", 3, 0, Kind::Dialog},
    {"MOM_assign_attribute", 1, 0, Kind::Attribute},
    {"MOM_set_attribute_program", 0, 3, Kind::Stamp},
    {"MOM_ask_part_attr", 0, 0, Kind::Part},
    {"MOM_call_grip", 1, 0, Kind::Grip},
    {"MOM_get_ini_string", 3, 0, Kind::Ini},
    {"MOM_remove_file_ex", 1, 0, Kind::File},
    {"MOM_deletefile", 1, 0, Kind::File},
    {"MOM_createfile", 1, 0, Kind::File},
    {"MOM_run_exec", 1, 0, Kind::Process},
    {"MOM_shell_exec", 1, 0, Kind::Process},
    {"MOM_about_stub", 0, 0, Kind::Dialog},
};

std::string words_text(int count) { return std::to_string(count) + (count == 1 ? " word" : " words"); }

}  // namespace

const PluginCommand *PluginCommands::begin() const { return std::begin(kCommands); }
const PluginCommand *PluginCommands::end() const { return std::end(kCommands); }

const PluginCommand *plugin_command(const std::string &name) {
    for (const auto &command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

std::string short_call(const std::string &name, int words) {
    const PluginCommand *command = plugin_command(name);
    if (command == nullptr) return "";
    if (words < command->least)
        return name + " uses " + words_text(command->least) + ", given " + std::to_string(words);
    if (words > 0 && words <= command->ignored)
        return name + " ignores " + words_text(words) + " and reads variables instead; it uses " +
               words_text(command->ignored + 1) + " or none";
    return "";
}

std::string load_hint(const std::string &error_message, bool plugin_loaded) {
    if (plugin_loaded) return "";
    static const char kHead[] = "invalid command name \"";
    auto start = error_message.find(kHead);
    if (start == std::string::npos) return "";
    start += std::strlen(kHead);
    auto end = error_message.find('"', start);
    if (end == std::string::npos) return "";
    std::string name = error_message.substr(start, end - start);
    if (!is_plugin_command(name)) return "";
    return name + " is a command of the plug-in, and no plug-in is loaded: load it with "
                  "--load tarvex, or in the script with MOM_run_user_function LIBRARY ufusr";
}

}  // namespace momsim
