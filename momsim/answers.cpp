#include "answers.h"

#include <cstdio>
#include <memory>
#include <type_traits>

#include <tcl.h>

#include "emuhost/paths.h"
#include "emuhost/utf8.h"
#include "usage_error.h"

namespace momsim {
namespace {

std::string where(const std::string &path, std::size_t line) {
    return path + ":" + std::to_string(line) + ": ";
}

bool blank(const std::string &text) {
    return text.find_first_not_of(" \t\v\f\r") == std::string::npos;
}

bool is_utf8_name(const std::string &name) {
    return emuhost::same_name(name, "utf-8") || emuhost::same_name(name, "utf8");
}

// One line from `encoding` to UTF-8; a byte the encoding does not have is
// a usage error naming the line.
std::string to_utf8(Tcl_Encoding encoding, const std::string &line, const std::string &where_text,
                    const std::string &name) {
    std::string out(line.size() * 4 + 16, '\0');
    int read = 0, wrote = 0;
    int code = Tcl_ExternalToUtf(nullptr, encoding, line.data(), static_cast<int>(line.size()),
                                 TCL_ENCODING_START | TCL_ENCODING_END | TCL_ENCODING_STOPONERROR, nullptr,
                                 &out[0], static_cast<int>(out.size()), &read, &wrote, nullptr);
    if (code != TCL_OK || read != static_cast<int>(line.size())) {
        std::size_t number = 1, column = 1;
        for (int i = 0; i < read; ++i) {
            if (line[static_cast<std::size_t>(i)] == '\n') {
                ++number;
                column = 1;
            } else {
                ++column;
            }
        }
        throw UsageError(where(where_text, number) + "the answer is not valid " + name + " (byte " +
                         std::to_string(column) + " of the line)");
    }
    out.resize(static_cast<std::size_t>(wrote));
    return out;
}

}  // namespace

AnswerFile parse_answers(std::string text, const std::string &path, const std::string &encoding) {
    bool utf8 = encoding.empty() || is_utf8_name(encoding);
    Tcl_Encoding tcl_encoding = nullptr;
    if (!utf8) {
        tcl_encoding = Tcl_GetEncoding(nullptr, encoding.c_str());
        if (tcl_encoding == nullptr)
            throw UsageError("--encoding " + encoding + ": no such encoding (\"encoding names\" lists them)");
    }
    // Frees the encoding however the reading ends.
    std::unique_ptr<std::remove_pointer_t<Tcl_Encoding>, void (*)(Tcl_Encoding)> owned(tcl_encoding,
                                                                                        Tcl_FreeEncoding);
    if (utf8 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    // Another encoding is read whole, as its line ends need not be single
    // bytes; what comes out is UTF-8.
    if (!utf8) text = to_utf8(tcl_encoding, text, path, encoding);
    AnswerFile file;
    file.path = path;
    std::size_t start = 0;
    for (std::size_t number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A NUL would cut the answer short where the host takes it as text.
        if (line.find('\0') != std::string::npos)
            throw UsageError(where(path, number) + "the answer holds a NUL byte");
        // A dialog's answer is one line; a lone carriage return inside would
        // split it where a terminal shows it.
        if (line.find('\r') != std::string::npos)
            throw UsageError(where(path, number) + "the answer holds a carriage return");
        if (utf8) {
            std::size_t bad = emuhost::invalid_utf8_at(line);
            if (bad != std::string::npos) {
                char byte[8];
                std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[bad]));
                throw UsageError(where(path, number) + "byte " + byte + " at column " + std::to_string(bad + 1) +
                                 " is not UTF-8; give the file's encoding with --encoding (for example "
                                 "--encoding cp1252)");
            }
        }
        if (blank(line)) continue;
        if (line[line.find_first_not_of(" \t")] == '#') continue;
        file.answers.push_back(Answer{static_cast<int>(number), line});
    }
    return file;
}

}  // namespace momsim
