#include "run_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "emuhost/paths.h"
#include "usage_error.h"

namespace momsim {
namespace {

// What an output holds, for the check that an existing file at its path is
// plausibly an earlier output of the same kind and not something else.
enum class OutputKind {
    None,     // an input
    Part,     // a part file: empty or a JSON object
    Records,  // a JSON Lines transcript: empty or JSON objects, but no part file
    Text,     // a log, an NC file, a listing: no script, answers, INI or part file
};

// One row per kind of file: how messages name it, and for an output what
// writing it is called, what it holds, what an earlier one of it is, and
// whether it is a program, put in place only by a run that ended normally.
struct FileRow {
    RunFile which;
    const char *name;
    const char *action;
    OutputKind kind;
    const char *earlier;
    bool program;
};

const FileRow kFiles[] = {
    {RunFile::Script, "the script", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Answers, "--answers", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Part, "--part", nullptr, OutputKind::None, nullptr, false},
    {RunFile::DemoPart, "the demo part", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Load, "--load", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Library, "the library", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Definition, "the definition file", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Read, "what the post read:", nullptr, OutputKind::None, nullptr, false},
    {RunFile::Save, "--save", "save the part", OutputKind::Part, "--save output", false},
    {RunFile::Transcript, "--transcript", "write the transcript", OutputKind::Records, "--transcript output", false},
    {RunFile::Syslog, "--syslog", "write the system log", OutputKind::Text, "--syslog output", false},
    {RunFile::NcOutput, "NC output", "write the NC output", OutputKind::Text, "NC output", true},
    {RunFile::Listing, "listing", "write the listing", OutputKind::Text, "listing", true},
    {RunFile::PostFile, "MOM_open_output_file", "write a file the post opened", OutputKind::Text, "output", true},
};

const FileRow &row(RunFile which) {
    for (const FileRow &each : kFiles)
        if (each.which == which) return each;
    throw std::logic_error("a RunFile without a row");
}

bool is_device(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

// The first 64 KiB: enough to tell what a file is.
std::string head_of(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(64 * 1024, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

// The lines of `text` that say something: not blank, not a # comment.
std::vector<std::string> lines_that_count(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        auto first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] != '#') lines.push_back(std::move(line));
    }
    return lines;
}

// An answers file: every line that counts is "RESPONSE [REST]" or a common
// button label, and there is at least one.
bool looks_like_answers(const std::string &text) {
    static const char *const labels[] = {"yes", "no", "ok", "cancel", "back", "abort", "continue", "retry"};
    int answers = 0;
    for (std::string line : lines_that_count(text)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t digits = 0;
        while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
        bool response = digits > 0 && (digits == line.size() || line[digits] == ' ');
        bool label = std::any_of(std::begin(labels), std::end(labels),
                                 [&](const char *each) { return emuhost::same_name(line, each); });
        if (!response && !label) return false;
        ++answers;
    }
    return answers > 0;
}

// A Tcl script without a telling name: its first line that counts starts
// with a command a post begins with. No log, NC file or listing does.
bool looks_like_tcl(const std::string &text) {
    static const char *const starts[] = {"proc ", "set ", "puts ", "source ", "package ", "namespace ",
                                         "if ", "if{", "foreach ", "global ", "MOM_", "uplevel ", "array "};
    auto lines = lines_that_count(text);
    if (lines.empty()) return false;
    const std::string &line = lines.front();
    auto first = line.find_first_not_of(" \t\r");
    for (const char *head : starts)
        if (line.compare(first, std::strlen(head), head) == 0) return true;
    return false;
}

// An INI file, as MOM_get_ini_string reads one: its first line that counts
// (";" starts a comment too) is a [section].
bool looks_like_ini(const std::string &text) {
    for (const std::string &line : lines_that_count(text)) {
        auto first = line.find_first_not_of(" \t");
        if (line[first] == ';') continue;
        auto last = line.find_last_not_of(" \t\r");
        return line[first] == '[' && line[last] == ']' && last > first + 1;
    }
    return false;
}

// A part file: a JSON object with "objects" or "parts" among its own
// fields. The head of a large file is enough: the parse stops at its end,
// the fields seen so far counted.
bool looks_like_part(const std::string &text) {
    bool found = false;
    nlohmann::json::parser_callback_t field = [&found](int depth, nlohmann::json::parse_event_t event,
                                                      nlohmann::json &parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 &&
            (parsed == "objects" || parsed == "parts"))
            found = true;
        return true;
    };
    [[maybe_unused]] nlohmann::json whole = nlohmann::json::parse(text, field, false);
    return found;
}

// Why an existing file at `path` is no earlier output of `kind`; empty when
// it may be overwritten (missing, empty, or plausibly of the kind).
std::string misfit_kind(const std::string &path, OutputKind kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return "";
    std::string text = head_of(path);
    if (emuhost::ends_with_nocase(path, ".tcl") || emuhost::ends_with_nocase(path, ".tk") ||
        text.compare(0, 2, "#!") == 0)
        return "it is a script";
    if (looks_like_ini(text)) return "it looks like an INI file";
    if (kind != OutputKind::Part && looks_like_part(text)) return "it looks like a part file";
    if (kind != OutputKind::Text) {
        auto first = text.find_first_not_of(" \t\r\n");
        if (first != std::string::npos && text[first] != '{') return "it holds no JSON object";
        return "";
    }
    if (looks_like_tcl(text)) return "it looks like a Tcl script";
    if (looks_like_answers(text)) return "it looks like an answers file";
    return "";
}

// The identity of a path: device and inode of an existing file, otherwise
// its absolute path with ".", ".." and symbolic links of its folder
// resolved.
std::string file_identity(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::optional<std::string> folder = emuhost::real_path(emuhost::folder_of(path));
    if (!folder) return "path " + path;
    return "path " + (*folder == "/" ? "" : *folder) + "/" + emuhost::base_name(path);
}

}  // namespace

void RunFiles::add_input(RunFile which, const std::string &path) { inputs_.push_back(Entry{which, path, nullptr}); }

void RunFiles::add_output(RunFile which, const std::string &path) {
    const char *name = row(which).name;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw UsageError(std::string(name) + " " + path + ": it is a folder");
    std::string folder = emuhost::folder_of(path);
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw UsageError(std::string(name) + " " + path + ": there is no folder " + folder);
    outputs_.push_back(Entry{which, path, nullptr});
}

void RunFiles::add_checked(RunFile which, const std::string &path) {
    outputs_.push_back(Entry{which, path, nullptr});
    try {
        check(outputs_.size() - 1);
    } catch (...) {
        outputs_.pop_back();
        throw;
    }
}

void RunFiles::remove(RunFile which) {
    for (auto it = outputs_.begin(); it != outputs_.end(); ++it)
        if (it->which == which && !it->file) {
            outputs_.erase(it);
            return;
        }
}

void RunFiles::check() const {
    for (std::size_t i = 0; i < outputs_.size(); ++i) check(i);
}

void RunFiles::check(std::size_t output) const {
    const Entry &out = outputs_[output];
    const FileRow &kind = row(out.which);
    // A device (/dev/null, a terminal) holds nothing to lose: several
    // outputs may go there.
    if (is_device(out.path)) return;
    std::string id = file_identity(out.path);
    for (const Entry &in : inputs_)
        if (file_identity(in.path) == id)
            throw UsageError(std::string(kind.name) + " " + out.path + " is the same file as " + row(in.which).name +
                             " " + in.path + ": momsim never writes over what it reads");
    for (std::size_t j = 0; j < output; ++j)
        if (file_identity(outputs_[j].path) == id)
            throw UsageError(std::string(kind.name) + " " + out.path + " is the same file as " +
                             row(outputs_[j].which).name + " " + outputs_[j].path + ": each output needs its own file");
    std::string misfit = misfit_kind(out.path, kind.kind);
    if (!misfit.empty())
        throw UsageError(std::string(kind.name) + " " + out.path + ": " + misfit + ", not an earlier " + kind.earlier +
                         "; not overwritten (remove it first if it should be)");
}

AtomicFile &RunFiles::open(RunFile which) {
    for (Entry &out : outputs_) {
        if (out.which != which) continue;
        if (!out.file) out.file = std::make_unique<AtomicFile>(row(which).name, out.path);
        return *out.file;
    }
    throw std::logic_error(std::string("no output ") + row(which).name);
}

AtomicFile &RunFiles::open(RunFile which, const std::string &path) {
    std::string id = file_identity(path);
    for (Entry &out : outputs_) {
        if (out.which != which || file_identity(out.path) != id) continue;
        if (!out.file) out.file = std::make_unique<AtomicFile>(row(which).name, out.path);
        return *out.file;
    }
    throw std::logic_error(std::string("no output ") + row(which).name + " " + path);
}

std::string RunFiles::input_at(const std::string &path) const {
    std::string id = file_identity(path);
    for (const Entry &in : inputs_)
        if (file_identity(in.path) == id) return row(in.which).name;
    return "";
}

AtomicFile *RunFiles::output_at(const std::string &path) const {
    std::string id = file_identity(path);
    for (const Entry &out : outputs_)
        if (out.file && file_identity(out.path) == id) return out.file.get();
    return nullptr;
}

RunFiles::Committed RunFiles::commit_all(bool complete) {
    Committed done;
    // The input that is the same file as `path`; null for none.
    auto input_of = [this](const std::string &path) -> const Entry * {
        std::string id = is_device(path) ? "" : file_identity(path);
        for (const Entry &in : inputs_)
            if (!id.empty() && file_identity(in.path) == id) return &in;
        return nullptr;
    };
    for (Entry &out : outputs_) {
        if (!out.file || !out.file->pending()) continue;
        std::string cannot = std::string("cannot ") + row(out.which).action + ": ";
        // A program that a run cut short would stand where the good one was.
        std::string partial = row(out.which).program && !complete ? out.file->partial_path() : "";
        std::string target = partial.empty() ? out.path : partial;
        if (const Entry *same = input_of(target)) {
            out.file->discard();
            done.refused = true;
            done.problems.push_back(cannot + row(out.which).name + " " + target + " is the same file as " +
                                    row(same->which).name + " " + same->path + "; the file was left as it was");
            continue;
        }
        std::string problem = partial.empty() ? out.file->commit() : out.file->keep_partial();
        if (!problem.empty()) done.problems.push_back(cannot + problem);
        else if (!partial.empty()) done.partials.emplace_back(out.path, partial);
    }
    return done;
}

void RunFiles::discard_all() {
    for (Entry &out : outputs_)
        if (out.file) out.file->discard();
}

}  // namespace momsim
