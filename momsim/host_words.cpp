#include "host_words.h"

#include "engine_commands.h"

namespace momsim {
namespace {

namespace cmd = engine_commands;
constexpr auto K = WordKind::Keyword;
constexpr auto A = WordKind::AddressAttribute;
constexpr auto S = WordKind::MemberSwitch;
constexpr auto C = WordKind::Command;
constexpr auto E = Emulation::Emulated;
constexpr auto N = Emulation::Accepted;

}  // namespace

const std::vector<HostWord> &host_words() {
    static const std::vector<HostWord> words = {
        // The statements of a definition file.
        {"MACHINE", K, "MACHINE KIND", E, nullptr},
        {"INCLUDE", K, "INCLUDE { FILE ... }", E, nullptr},
        {"FORMATTING", K, "FORMATTING { STATEMENT ... }", E, nullptr},
        {"WORD_SEPARATOR", K, "WORD_SEPARATOR \"TEXT\"", E, nullptr},
        {"END_OF_LINE", K, "END_OF_LINE \"TEXT\"", E, nullptr},
        {"SEQUENCE", K, "SEQUENCE TEMPLATE START INCREMENT FREQUENCY MAXIMUM", E, nullptr},
        {"FORMAT", K, "FORMAT NAME \"PATTERN\"", E, nullptr},
        {"ADDRESS", K, "ADDRESS NAME { ATTRIBUTE ... }", E, nullptr},
        {"BLOCK_TEMPLATE", K, "BLOCK_TEMPLATE NAME { MEMBER ... }", E, nullptr},
        // What an ADDRESS says of itself.
        {"FORMAT", A, "FORMAT NAME", E, nullptr},
        {"FORCE", A, "FORCE Off|Once|Always", E, nullptr},
        {"MAX", A, "MAX NUMBER ?Abort|Warning|Truncate?", E, nullptr},
        {"MIN", A, "MIN NUMBER ?Abort|Warning|Truncate?", E, nullptr},
        {"LEADER", A, "LEADER \"TEXT\" | LEADER [EXPRESSION]", E, nullptr},
        {"TRAILER", A, "TRAILER \"TEXT\"", E, nullptr},
        {"ZERO_FORMAT", A, "ZERO_FORMAT NAME", E, nullptr},
        {"INCREMENTAL", A, "INCREMENTAL On|Off", E, nullptr},
        // The switches after a template member.
        {"\\opt", S, "Address[expression]\\opt", E, nullptr},
        {"\\nows", S, "Address[expression]\\nows", E, nullptr},
        {"\\ldr", S, "Address[expression]\\ldr=TEXT", E, nullptr},
        {"\\trlr", S, "Address[expression]\\trlr=TEXT", E, nullptr},
        // The host commands.
        {"MOM_do_template", C, "MOM_do_template TEMPLATE ?CREATE?", E, cmd::do_template},
        {"MOM_output_literal", C, "MOM_output_literal TEXT", E, cmd::output_literal},
        {"MOM_output_text", C, "MOM_output_text TEXT", E, cmd::output_text},
        {"MOM_force", C, "MOM_force once|always|off ADDRESS ?ADDRESS ...?", E, cmd::force},
        {"MOM_suppress", C, "MOM_suppress once|always|off ADDRESS ?ADDRESS ...?", E, cmd::suppress},
        {"MOM_set_address_format", C, "MOM_set_address_format ADDRESS FORMAT", E, cmd::set_address_format},
        {"MOM_enable_address", C, "MOM_enable_address ADDRESS ?ADDRESS ...?", E, cmd::enable_address},
        {"MOM_disable_address", C, "MOM_disable_address ADDRESS ?ADDRESS ...?", E, cmd::disable_address},
        {"MOM_incremental", C, "MOM_incremental on|off ADDRESS ?ADDRESS ...?", E, cmd::incremental},
        {"MOM_ask_address_value", C, "MOM_ask_address_value ADDRESS", E, cmd::ask_address_value},
        {"MOM_set_seq_on", C, "MOM_set_seq_on", E, cmd::set_seq_on},
        {"MOM_set_seq_off", C, "MOM_set_seq_off", E, cmd::set_seq_off},
        {"MOM_reset_sequence", C, "MOM_reset_sequence ?START ?INCREMENT ?FREQUENCY???", E, cmd::reset_sequence},
        {"MOM_set_line_leader", C, "MOM_set_line_leader always|once|off ?TEXT?", E, cmd::set_line_leader},
        {"MOM_load_definition_file", C, "MOM_load_definition_file FILE", E, cmd::load_definition_file},
        {"MOM_ask_env_var", C, "MOM_ask_env_var NAME", E, cmd::ask_env_var},
        {"MOM_open_output_file", C, "MOM_open_output_file FILE", E, cmd::open_output_file},
        {"MOM_close_output_file", C, "MOM_close_output_file FILE", E, cmd::close_output_file},
        {"MOM_remove_file", C, "MOM_remove_file FILE", E, cmd::remove_file},
        {"MOM_set_debug_mode", C, "MOM_set_debug_mode ON|OFF", N, cmd::set_debug_mode},
        {"MOM_load_kinematics", C, "MOM_load_kinematics", N, cmd::load_kinematics},
        {"MOM_reload_kinematics", C, "MOM_reload_kinematics", N, cmd::reload_kinematics},
        {"MOM_reload_variable", C, "MOM_reload_variable ?-a? NAME ?NAME ...?", N, cmd::reload_variable},
        {"MOM_ask_library_attributes", C, "MOM_ask_library_attributes ?WORD ...?", N, cmd::ask_library_attributes},
    };
    return words;
}

const HostWord *find_host_word(const std::string &name, WordKind kind) {
    for (const HostWord &word : host_words())
        if (word.kind == kind && name == word.name) return &word;
    return nullptr;
}

std::string host_word_list(WordKind kind) {
    std::string list;
    for (const HostWord &word : host_words())
        if (word.kind == kind) list += (list.empty() ? "" : ", ") + std::string(word.name);
    return list;
}

}  // namespace momsim
