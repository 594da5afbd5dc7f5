#include "inputs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "emuhost/machine.h"
#include "emuhost/session.h"
#include "ending.h"
#include "locate.h"

namespace momsim {
namespace {

// Checks that `path` is a file that can be read.
void check_readable(const std::string &what, const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || ::access(path.c_str(), R_OK) != 0)
        throw UsageError("cannot read " + what + " " + path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw UsageError("cannot read " + what + " " + path + ": it is a folder");
}

// Reads a whole file; an error names the file and the reason. The text is
// read into place in one piece, not grown and copied: a part file may be
// hundreds of megabytes.
std::string read_file(const std::string &what, const std::string &path) {
    check_readable(what, path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError("cannot read " + what + " " + path + ": " + std::strerror(errno));
    std::string text;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        in.read(&text[0], size);
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    // A file that grows while it is read, or is no regular file: the rest.
    if (in && in.peek() != std::char_traits<char>::eof()) {
        std::ostringstream rest;
        rest << in.rdbuf();
        text += rest.str();
    }
    if (in.bad()) throw UsageError("cannot read " + what + " " + path + ": read error");
    return text;
}

}  // namespace

AnswerFile read_answers(const std::string &path, const std::string &encoding) {
    return parse_answers(read_file("answers file", path), path, encoding);
}

void check_folder(const std::string &option, const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw UsageError(option + " " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) throw UsageError(option + " " + path + ": it is no folder");
}

Inputs read_inputs(const Options &options, const std::string &default_part) {
    Inputs inputs;
    if (options.script) {
        // A script named the Windows way is read through the drives, as
        // the post's own file commands are.
        const std::string &script = *options.script;
        std::optional<std::string> local = script;
        if (emuhost::WindowsMachine::has_drive_letter(script)) local = emuhost::windows_machine().local_path(script);
        if (!local)
            throw UsageError("cannot read script " + script + ": drive " + script.substr(0, 2) + " is not mapped");
        check_readable("script", *local);
    }
    if (options.answers) inputs.answers = read_answers(*options.answers, options.encoding.value_or(""));
    else if (options.encoding) throw UsageError("--encoding is the encoding of the answers file: give --answers too");
    inputs.part_path = options.part ? *options.part : default_part;
    inputs.demo_part = !options.part;
    if (!inputs.part_path.empty()) inputs.part_text = read_file("part file", inputs.part_path);
    if (options.grip_dir) {
        check_folder("--grip-dir", *options.grip_dir);
        inputs.grip_dir = *options.grip_dir;
    }
    if (options.exec_dir) check_folder("--exec-dir", *options.exec_dir);
    for (const auto &library : options.loads) {
        try {
            inputs.libraries.push_back(resolve_library(library));
        } catch (const std::exception &error) {
            throw UsageError("--load " + library + ": " + error.what());
        }
    }
    return inputs;
}

void load_part(Inputs &inputs) {
    if (inputs.part_path.empty()) return;
    // The text is parsed once, here, and let go of: a part of millions of
    // moves need not be held twice.
    std::string text = std::move(inputs.part_text);
    inputs.part_text.clear();
    try {
        emuhost::session().part().load_text(text, inputs.part_path, ending_pending);
    } catch (const emuhost::PartLoadInterrupted &) {
        // Ctrl-C, SIGTERM, SIGHUP or --timeout while reading: the run ends
        // the way it ends for them.
        end_if_pending();
        throw UsageError("cannot read part file " + inputs.part_path + ": reading was interrupted");
    } catch (const emuhost::PartFileError &error) {
        if (!error.syntax) throw UsageError(error.what());
        // A file that is no JSON object is named as editors name a place
        // in a file: FILE:LINE:COLUMN.
        const auto &syntax = *error.syntax;
        std::string where = inputs.part_path;
        if (syntax.line > 0) where += ":" + std::to_string(syntax.line);
        if (syntax.line > 0 && syntax.column > 0) where += ":" + std::to_string(syntax.column);
        throw UsageError(where + ": " + syntax.reason);
    }
}

}  // namespace momsim
