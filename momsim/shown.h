// What the user is shown, in the two forms momsim gives it: a transcript
// object, and the text of a dialog asked about at the terminal.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "emuhost/dialogs.h"

namespace momsim {

// A number as the user reads and types it: the shortest of 15 or 17
// digits that reads back as the same number.
std::string number_text(double value);

// "scripted", "prompted", "clicked" or "defaulted"; empty for a dialog that takes no
// answer.
std::string answer_source_name(emuhost::AnswerSource source);

// One transcript object for a dialog: "call", everything the dialog was
// given, and for a dialog that takes one, "answer" (what it answered),
// "given" (how) and, when the answer came from the answers file,
// "answer_line" (the line as written), "from" (FILE:LINE) and, when the
// line did not fit, "problem". `from` is empty for an answer not taken
// from the file.
nlohmann::ordered_json transcript_record(const emuhost::DialogRecord &record, const std::string &from);

// Whether the dialog waits for an answer.
bool takes_answer(const emuhost::DialogRecord &record);

// The dialog as text for the terminal, several lines, each ended.
std::string dialog_text(const emuhost::DialogRecord &record);

// The one-line request for an answer that follows dialog_text: what to
// type, and what an empty line gives. Not ended.
std::string answer_request(const emuhost::DialogRecord &record);

// The dialog's own words on one line: a message's lines, a cue, a title.
std::string dialog_gist(const emuhost::DialogRecord &record);

// The answer the dialog gave, as an answers-file line would write it
// ("Yes", "3 Roughing", "3 50 1200").
std::string answer_gist(const emuhost::DialogRecord &record);

}  // namespace momsim
