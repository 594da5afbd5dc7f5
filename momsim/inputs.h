//   momsim [--answers FILE] [--part FILE] [--grip-dir DIR] [--exec-dir DIR]
//          [--load LIB ...] script.tcl
//
// What momsim reads before the run, each read once and checked, so that a
// bad input stops momsim with its name before anything runs or is written.
// The drives are mapped before (map_drives): a script or plug-in named the
// Windows way is found through them.
#pragma once

#include <string>
#include <vector>

#include "answers.h"
#include "options.h"

namespace momsim {

// Everything momsim reads before the run, as plain values.
struct Inputs {
    AnswerFile answers;
    std::string part_path;    // the part file, or empty without one
    bool demo_part = false;   // the part is the demo's: no --part was given
    std::string part_text;    // the part file's bytes, parsed when the run loads it
    std::string grip_dir;     // empty without one
    std::vector<std::string> libraries;  // the --load libraries, found, in order
};

// Reads and checks what `options` names; `default_part` (may be empty) is
// the part file to use without --part. Throws UsageError.
Inputs read_inputs(const Options &options, const std::string &default_part);

// Reads an answers file in `encoding` (see parse_answers). Throws
// UsageError naming the file.
AnswerFile read_answers(const std::string &path, const std::string &encoding = "");

// Checks that `path` is an existing folder. Throws UsageError.
void check_folder(const std::string &option, const std::string &path);

// Loads the part read with the inputs into the host's part model, parsed
// once, there, and lets go of its text; nothing without a part. Throws
// UsageError naming the file, and the line and column of a syntax error or
// the field the host refuses. A signal or --timeout while it reads ends
// the run (ending.h).
void load_part(Inputs &inputs);

}  // namespace momsim
