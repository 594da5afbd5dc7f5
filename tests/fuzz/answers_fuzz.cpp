// libFuzzer target: one input is one answers file, its first byte choosing
// the encoding it is read in. The reader either refuses it with a message
// or answers lines that a dialog can take: numbered from 1 in file order,
// one line each, no line end and no NUL inside.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <tcl.h>

#include "inputs.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    // Tcl finds its encodings from where the executable is.
    Tcl_FindExecutable((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    static const char *const kEncodings[] = {"", "utf-8", "cp1252", "iso8859-1", "identity", "unicode", "shiftjis"};
    std::string encoding = kEncodings[data[0] % (sizeof kEncodings / sizeof kEncodings[0])];
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    try {
        momsim::AnswerFile file = momsim::parse_answers(text, "fuzz.txt", encoding);
        int last = 0;
        for (const auto &answer : file.answers) {
            if (answer.line <= last) std::abort();
            last = answer.line;
            if (answer.text.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) std::abort();
            if (answer.text.find_first_not_of(" \t\v\f") == std::string::npos) std::abort();
        }
    } catch (const momsim::UsageError &) {
        // Refused, naming the file: the reader's job.
    }
    return 0;
}
