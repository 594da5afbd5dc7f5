//   momsim --post [--def FILE] post.tcl
//   MOM_load_definition_file FILE
//
// A post's definition file, as read: its number formats, addresses, block
// templates, sequence numbers and word separator (docs/definition-file.md).
// What the engine does with them at run time lives in output_engine.*.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "nc_format.h"

namespace momsim {

// A definition file that cannot be read as one: the message starts with
// FILE:LINE and says what was expected.
struct DefinitionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where something was defined, for messages.
struct Place {
    std::string file;
    int line = 0;
    std::string text() const { return file + ":" + std::to_string(line); }
};

enum class Modality { Off, Once, Always };
enum class LimitAction { Abort, Warning, Truncate };

struct Limit {
    double value = 0;
    LimitAction action = LimitAction::Truncate;
};

struct FormatDef {
    NumberFormat format;
    Place place;
};

struct AddressDef {
    std::string name;
    std::string format = "";      // the FORMAT's name; empty: the default format
    Modality force = Modality::Off;
    Limit max{999999999.99, LimitAction::Truncate};
    Limit min{-999999999.99, LimitAction::Truncate};
    std::string leader;           // a text, or with leader_is_expression a Tcl expression
    bool leader_is_expression = false;
    std::string trailer;
    std::string zero_format;      // the ZERO_FORMAT's name, or empty
    bool incremental = false;
    Place place;
};

// One member of a block template: an address and its Tcl expression, or a
// text written as it is.
struct MemberDef {
    std::string address;          // empty for a text member
    std::string expression;       // Address[expression]
    std::string text;             // "text"
    bool optional = false;        // \opt
    bool no_separator = false;    // \nows
    std::optional<std::string> leader;   // \ldr=TEXT
    std::optional<std::string> trailer;  // \trlr=TEXT
    Place place;
};

struct TemplateDef {
    std::string name;
    std::vector<MemberDef> members;
    Place place;
};

struct SequenceDef {
    std::string name;             // the block template that writes the number
    long long start = 1, increment = 1, frequency = 1, maximum = 9999;
    Place place;
};

struct Definition {
    std::string machine;
    std::string word_separator = " ";
    std::string end_of_line;
    std::optional<SequenceDef> sequence;
    std::map<std::string, FormatDef> formats;
    std::map<std::string, AddressDef> addresses;
    std::map<std::string, TemplateDef> templates;
    std::vector<std::string> files;  // every file read, INCLUDEs too, in order
};

// What the reader needs from its surroundings: the value of an environment
// variable (none when unset) and the path on this machine that a path as
// written names (drive letters read through --drive).
struct DefinitionContext {
    std::function<std::optional<std::string>(const std::string &)> environment;
    std::function<std::string(const std::string &)> local_path;
};

// Reads the definition file at `path` (and what it INCLUDEs) into `into`,
// later definitions of a name replacing earlier ones, and checks that every
// format, address and template named is defined. Throws DefinitionError;
// `into` is then left as it was.
void read_definition(const std::string &path, const DefinitionContext &context, Definition &into);

// The same for a file's text, `path` only naming it in messages and
// anchoring relative INCLUDEs.
void parse_definition(const std::string &text, const std::string &path, const DefinitionContext &context,
                      Definition &into);

}  // namespace momsim
