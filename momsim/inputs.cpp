#include "inputs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

AnswerFile read_answers(const std::string &path) {
    std::string text = slurp("answers file", path);
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
    if (options.answers) inputs.answers = read_answers(*options.answers);
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
