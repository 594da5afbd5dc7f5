#include "inputs.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <tcl.h>

#include "emuhost/machine.h"

namespace momsim {
namespace {

// Reads a whole file; an error names the file and the reason.
std::string slurp(const std::string &what, const std::string &path) {
    check_readable(what, path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError("cannot read " + what + " " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw UsageError("cannot read " + what + " " + path + ": read error");
    return text.str();
}

std::string where(const std::string &path, std::size_t line) {
    return path + ":" + std::to_string(line) + ": ";
}

bool blank(const std::string &text) {
    return text.find_first_not_of(" \t\v\f\r") == std::string::npos;
}

// Line and column (both from 1) of a byte offset; nlohmann counts the byte
// just past the offending character.
std::pair<std::size_t, std::size_t> position_of(const std::string &text, std::size_t byte) {
    std::size_t line = 1, column = 1;
    std::size_t end = byte > 0 ? std::min(byte - 1, text.size()) : 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

// nlohmann's message without its "[json.exception...] parse error at line
// L, column C: " head, which we replace by file:line:column.
std::string json_reason(const std::string &what) {
    auto colon = what.find(": ");
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

bool is_utf8_name(const std::string &name) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "utf-8" || lower == "utf8";
}

// Where the first byte that does not belong to a UTF-8 sequence is, or npos.
std::size_t invalid_utf8_at(const std::string &text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return i;
        std::uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return i;
            code = (code << 6) | (next & 0x3F);
        }
        static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += length;
    }
    return std::string::npos;
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

AnswerFile read_answers(const std::string &path, const std::string &encoding) {
    std::string text = slurp("answers file", path);
    return parse_answers(text, path, encoding);
}

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
            std::size_t bad = invalid_utf8_at(line);
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

nlohmann::json read_part(const std::string &path) {
    std::string text = slurp("part file", path);
    nlohmann::json part;
    try {
        part = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error &error) {
        auto [line, column] = position_of(text, error.byte);
        throw UsageError(path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                         json_reason(error.what()));
    } catch (const nlohmann::json::exception &error) {
        std::string what = error.what();
        auto bracket = what.find("] ");
        throw UsageError(path + ": " + (bracket == std::string::npos ? what : what.substr(bracket + 2)));
    }
    if (!part.is_object()) throw UsageError(where(path, 1) + "the part file must hold a JSON object");
    return part;
}

void check_output_file(const std::string &option, const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw UsageError(option + " " + path + ": it is a folder");
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw UsageError(option + " " + path + ": there is no folder " + folder);
}

void check_folder(const std::string &option, const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw UsageError(option + " " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) throw UsageError(option + " " + path + ": it is no folder");
}

void check_readable(const std::string &what, const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || ::access(path.c_str(), R_OK) != 0)
        throw UsageError("cannot read " + what + " " + path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw UsageError("cannot read " + what + " " + path + ": it is a folder");
}

Inputs read_inputs(const Options &options, const std::string &default_part) {
    Inputs inputs;
    if (options.script) {
        // A script named the Windows way is read through the drives, as
        // the post's own file commands are.
        std::string script = *options.script;
        if (!options.drives.empty() && emuhost::WindowsMachine::has_drive_letter(script)) {
            emuhost::WindowsMachine machine;
            for (const auto &[letter, folder] : options.drives) machine.map_drive(letter, folder);
            std::optional<std::string> local = machine.local_path(script);
            if (!local)
                throw UsageError("cannot read script " + script + ": drive " + script.substr(0, 2) +
                                 " is not mapped");
            script = *local;
        }
        check_readable("script", script);
    }
    if (options.answers) inputs.answers = read_answers(*options.answers, options.encoding.value_or(""));
    else if (options.encoding) throw UsageError("--encoding is the encoding of the answers file: give --answers too");
    std::string part = options.part ? *options.part : default_part;
    if (!part.empty()) {
        inputs.part = read_part(part);
        inputs.part_path = part;
    }
    if (options.grip_dir) {
        check_folder("--grip-dir", *options.grip_dir);
        inputs.grip_dir = *options.grip_dir;
    }
    for (const auto &[letter, folder] : options.drives) {
        struct stat info {};
        std::string option = std::string("--drive ") + letter + ":=" + folder;
        if (::stat(folder.c_str(), &info) != 0) throw UsageError(option + ": " + std::strerror(errno));
        if (!S_ISDIR(info.st_mode)) throw UsageError(option + ": it is no folder");
    }
    if (options.exec_dir) check_folder("--exec-dir", *options.exec_dir);
    if (options.save) {
        check_output_file("--save", *options.save);
        inputs.save = *options.save;
    }
    if (options.syslog) check_output_file("--syslog", *options.syslog);
    if (options.transcript) check_output_file("--transcript", *options.transcript);
    return inputs;
}

}  // namespace momsim
