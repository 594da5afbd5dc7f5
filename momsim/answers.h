//   momsim --answers FILE [--encoding NAME] [options] script.tcl
//
// The answers file: one scripted answer per line, taken in order by
// whichever dialog comes next.
#pragma once

#include <string>
#include <vector>

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

// Reads the bytes of an answers file, `path` only naming it, in `encoding`
// (a Tcl encoding name; empty: UTF-8, a byte-order mark skipped) into
// UTF-8 answers. Throws UsageError naming the file and the line of a line
// that cannot be an answer or is not valid in the encoding.
AnswerFile parse_answers(std::string text, const std::string &path, const std::string &encoding = "");

}  // namespace momsim
