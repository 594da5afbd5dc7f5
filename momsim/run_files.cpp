#include "run_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

#include "emuhost/paths.h"
#include "usage_error.h"

namespace momsim {
namespace {

// What an output holds, for the check that an existing file at its path is
// plausibly an earlier output of the same kind and not something else.
enum class OutputKind {
    None,  // an input
    Json,  // a part file or a JSON Lines transcript: empty or starting with "{"
    Text,  // a log, an NC file, a listing: anything but a Tcl script or an answers file
};

// One row per kind of file: how messages name it, and for an output what
// writing it is called, what it holds, and what an earlier one of it is.
struct FileRow {
    RunFile which;
    const char *name;
    const char *action;
    OutputKind kind;
    const char *earlier;
};

const FileRow kFiles[] = {
    {RunFile::Script, "the script", nullptr, OutputKind::None, nullptr},
    {RunFile::Answers, "--answers", nullptr, OutputKind::None, nullptr},
    {RunFile::Part, "--part", nullptr, OutputKind::None, nullptr},
    {RunFile::DemoPart, "the demo part", nullptr, OutputKind::None, nullptr},
    {RunFile::Load, "--load", nullptr, OutputKind::None, nullptr},
    {RunFile::Library, "the library", nullptr, OutputKind::None, nullptr},
    {RunFile::Definition, "the definition file", nullptr, OutputKind::None, nullptr},
    {RunFile::Save, "--save", "save the part", OutputKind::Json, "--save output"},
    {RunFile::Transcript, "--transcript", "write the transcript", OutputKind::Json, "--transcript output"},
    {RunFile::Syslog, "--syslog", "write the system log", OutputKind::Text, "--syslog output"},
    {RunFile::NcOutput, "NC output", "write the NC output", OutputKind::Text, "NC output"},
    {RunFile::Listing, "listing", "write the listing", OutputKind::Text, "listing"},
    {RunFile::PostFile, "MOM_open_output_file", "write a file the post opened", OutputKind::Text, "output"},
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

// Why an existing file at `path` is no earlier output of `kind`; empty when
// it may be overwritten (missing, empty, or plausibly of the kind).
std::string misfit_kind(const std::string &path, OutputKind kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return "";
    std::string text = head_of(path);
    if (emuhost::ends_with_nocase(path, ".tcl") || emuhost::ends_with_nocase(path, ".tk") ||
        text.compare(0, 2, "#!") == 0)
        return "it is a script";
    if (kind == OutputKind::Json) {
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
        check();
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
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        const Entry &out = outputs_[i];
        const FileRow &kind = row(out.which);
        // A device (/dev/null, a terminal) holds nothing to lose: several
        // outputs may go there.
        if (is_device(out.path)) continue;
        std::string id = file_identity(out.path);
        for (const Entry &in : inputs_)
            if (file_identity(in.path) == id)
                throw UsageError(std::string(kind.name) + " " + out.path + " is the same file as " +
                                 row(in.which).name + " " + in.path + ": momsim never writes over what it reads");
        for (std::size_t j = 0; j < i; ++j)
            if (file_identity(outputs_[j].path) == id)
                throw UsageError(std::string(kind.name) + " " + out.path + " is the same file as " +
                                 row(outputs_[j].which).name + " " + outputs_[j].path +
                                 ": each output needs its own file");
        std::string misfit = misfit_kind(out.path, kind.kind);
        if (!misfit.empty())
            throw UsageError(std::string(kind.name) + " " + out.path + ": " + misfit + ", not an earlier " +
                             kind.earlier + "; not overwritten (remove it first if it should be)");
    }
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

std::vector<std::string> RunFiles::commit_all() {
    std::vector<std::string> problems;
    for (Entry &out : outputs_) {
        if (!out.file) continue;
        std::string cannot = std::string("cannot ") + row(out.which).action + ": ";
        std::string id = is_device(out.path) ? "" : file_identity(out.path);
        const Entry *same = nullptr;
        for (const Entry &in : inputs_)
            if (!id.empty() && file_identity(in.path) == id) same = &in;
        if (same) {
            out.file->discard();
            problems.push_back(cannot + row(out.which).name + " " + out.path + " is the same file as " +
                               row(same->which).name + " " + same->path + "; the file was left as it was");
            continue;
        }
        std::string problem = out.file->commit();
        if (!problem.empty()) problems.push_back(cannot + problem);
    }
    return problems;
}

void RunFiles::discard_all() {
    for (Entry &out : outputs_)
        if (out.file) out.file->discard();
}

}  // namespace momsim
