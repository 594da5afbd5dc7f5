// The files and folders the command line names, read and checked before the
// run starts, so that a bad one stops momsim before anything is written.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "options.h"

namespace momsim {

// One scripted answer and where it stands, so that a later complaint about
// it can name the file and the line.
struct Answer {
    int line = 0;
    std::string text;  // the line without its line end
};

struct AnswerFile {
    std::string path;
    std::vector<Answer> answers;  // in file order, blank and # lines left out
};

//   momsim --answers FILE [--encoding NAME] [options] script.tcl
//
// Reads an answers file in `encoding` (a Tcl encoding name; empty: UTF-8,
// a byte-order mark skipped) into UTF-8 answers. Throws UsageError naming
// the file (and the line for a line that cannot be an answer or is not
// valid in the encoding).
AnswerFile read_answers(const std::string &path, const std::string &encoding = "");
// The same for the file's bytes, `path` only naming it.
AnswerFile parse_answers(std::string text, const std::string &path, const std::string &encoding = "");

// Reads a part file as JSON; the top level must be an object. Throws
// UsageError naming the file, the line and the column of a syntax error.
nlohmann::json read_part(const std::string &path);

// Checks that a file can be written later (its folder exists, it is no
// folder itself). Throws UsageError.
void check_output_file(const std::string &option, const std::string &path);

// Checks that `path` is a file that can be read. Throws UsageError.
void check_readable(const std::string &what, const std::string &path);

// Checks that `path` is an existing folder. Throws UsageError.
void check_folder(const std::string &option, const std::string &path);

// Everything momsim reads before the run, checked.
struct Inputs {
    AnswerFile answers;
    nlohmann::json part;             // null without a part file
    std::string part_path;           // where `part` came from, or empty
    std::string grip_dir;            // empty without one
    std::string save;                // empty without one
};

// Reads and checks what `options` names; `default_part` (may be empty) is
// the part file to use without --part. Throws UsageError.
Inputs read_inputs(const Options &options, const std::string &default_part);

}  // namespace momsim
