// Every word of the host's output engine that momsim knows, in one table:
// the keywords of a definition file, the attributes of an ADDRESS, the
// switches of a template member, and the host commands a post calls. The
// definition reader asks it which keywords there are, the commands are
// made from it, the unit test checks that docs/definition-file.md names
// each entry, and the run reports the commands that only accept their
// words (the summary, --strict).
#pragma once

#include <string>
#include <vector>

#include <tcl.h>

namespace momsim {

enum class WordKind {
    Keyword,           // a statement of the definition file: FORMAT, ADDRESS, ...
    AddressAttribute,  // inside ADDRESS NAME { ... }: FORCE, MAX, ...
    MemberSwitch,      // after a template member: \opt, \nows, ...
    Command,           // a host command the post calls: MOM_do_template, ...
};

// What momsim does for a command.
enum class Emulation {
    Emulated,  // does what the host does
    Accepted,  // checks its words and does nothing: reported as such
};

struct HostWord {
    const char *name;
    WordKind kind;
    const char *usage;             // as a script or a definition file writes it
    Emulation emulation;           // commands only
    Tcl_ObjCmdProc *command;       // commands only: its handler
};

const std::vector<HostWord> &host_words();

// The entry of `name` of `kind`; null when there is none.
const HostWord *find_host_word(const std::string &name, WordKind kind);

// The names of every entry of `kind`, separated by ", ", for messages.
std::string host_word_list(WordKind kind);

}  // namespace momsim
