#include "outputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "inputs.h"
#include "locate.h"
#include "options.h"

namespace momsim {
namespace {

std::string folder_of(const std::string &path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string real_path(const std::string &path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return "";
    return resolved;
}

bool ends_with_nocase(const std::string &text, const std::string &tail) {
    if (text.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
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
        std::string lower;
        for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool label = std::find(std::begin(labels), std::end(labels), lower) != std::end(labels);
        if (!response && !label) return false;
        ++answers;
    }
    return answers > 0;
}

// What writing an output is called in a message.
std::string action_of(const std::string &option) {
    if (option == "--save") return "save the part";
    if (option == "--transcript") return "write the transcript";
    if (option == "--syslog") return "write the system log";
    if (option == "NC output") return "write the NC output";
    if (option == "listing") return "write the listing";
    return "write the " + option + " file";
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

}  // namespace

std::string misfit_kind(const std::string &path, OutputKind kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return "";
    std::string text = head_of(path);
    if (ends_with_nocase(path, ".tcl") || ends_with_nocase(path, ".tk") || text.compare(0, 2, "#!") == 0)
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

std::string file_identity(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::string folder = real_path(folder_of(path));
    if (folder.empty()) return "path " + path;
    return "path " + (folder == "/" ? "" : folder) + "/" + base_of(path);
}

AtomicFile::AtomicFile(std::string option, std::string path) : option_(std::move(option)), path_(std::move(path)) {
    struct stat info {};
    bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a pipe (/dev/null, /dev/stderr) is written in place:
        // renaming a file onto it would replace the device itself.
        file_ = std::fopen(path_.c_str(), "wb");
        if (file_ == nullptr)
            throw UsageError(option_ + " " + path_ + ": cannot be written: " + std::strerror(errno));
        return;
    }
    // A symbolic link keeps pointing where it did: the file it names is
    // the one replaced.
    std::string target = exists ? real_path(path_) : path_;
    if (target.empty()) target = path_;
    temporary_ = target + ".momsim-XXXXXX";
    int fd = ::mkstemp(&temporary_[0]);
    if (fd < 0) {
        std::string why = std::strerror(errno);
        temporary_.clear();
        throw UsageError(option_ + " " + path_ + ": cannot write in its folder: " + why);
    }
    // The permissions a new file would get, or those of the file replaced.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? (info.st_mode & 07777) : (0666 & ~mask));
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        ::close(fd);
        ::unlink(temporary_.c_str());
        temporary_.clear();
        throw UsageError(option_ + " " + path_ + ": cannot be written");
    }
    target_ = target;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

AtomicFile::~AtomicFile() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::write(const std::string &text, bool flush) {
    if (!file_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || (flush && std::fflush(file_) != 0))
        failed_ = true;
}

std::string AtomicFile::commit() {
    if (!file_) return "";
    bool ok = !failed_ && std::fflush(file_) == 0;
    if (ok && !temporary_.empty()) ok = ::fsync(::fileno(file_)) == 0;
    std::string why = ok ? "" : std::strerror(errno);
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    file_ = nullptr;
    std::string head = "cannot " + action_of(option_) + ": " + option_ + " " + path_ + ": ";
    if (temporary_.empty()) return ok ? "" : head + why;
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return head + why + "; the file was left as it was";
    }
    temporary_.clear();
    return "";
}

void AtomicFile::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void AtomicFile::restart() {
    if (!file_ || temporary_.empty()) return;
    if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0) failed_ = true;
    std::rewind(file_);
}

void Outputs::discard_all() {
    for (Output &out : outputs_)
        if (out.file) out.file->discard();
}

void Outputs::add_input(const std::string &what, const std::string &path) {
    inputs_.push_back(Input{what, path});
}

void Outputs::add_output(const std::string &option, const std::string &path, OutputKind kind) {
    outputs_.push_back(Output{option, path, kind, nullptr});
}

void Outputs::add_checked(const std::string &option, const std::string &path, OutputKind kind) {
    outputs_.push_back(Output{option, path, kind, nullptr});
    try {
        check();
    } catch (...) {
        outputs_.pop_back();
        throw;
    }
}

void Outputs::remove(const std::string &option) {
    for (auto it = outputs_.begin(); it != outputs_.end(); ++it)
        if (it->option == option && !it->file) {
            outputs_.erase(it);
            return;
        }
}

void Outputs::check() const {
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        const Output &out = outputs_[i];
        // A device (/dev/null, a terminal) holds nothing to lose: several
        // outputs may go there.
        struct stat info {};
        if (::stat(out.path.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) continue;
        std::string id = file_identity(out.path);
        for (const Input &in : inputs_)
            if (file_identity(in.path) == id)
                throw UsageError(out.option + " " + out.path + " is the same file as " + in.what + " " + in.path +
                                 ": momsim never writes over what it reads");
        for (std::size_t j = 0; j < i; ++j)
            if (file_identity(outputs_[j].path) == id)
                throw UsageError(out.option + " " + out.path + " is the same file as " + outputs_[j].option + " " +
                                 outputs_[j].path + ": each output needs its own file");
        std::string misfit = misfit_kind(out.path, out.kind);
        if (!misfit.empty())
            throw UsageError(out.option + " " + out.path + ": " + misfit + ", not an earlier " + out.option +
                             (out.option.compare(0, 2, "--") == 0 ? " output" : "") +
                             "; not overwritten (remove it first if it should be)");
    }
}

bool Outputs::has(const std::string &option) const {
    for (const Output &out : outputs_)
        if (out.option == option) return true;
    return false;
}

std::string Outputs::input_at(const std::string &path) const {
    std::string id = file_identity(path);
    for (const Input &in : inputs_)
        if (file_identity(in.path) == id) return in.what;
    return "";
}

AtomicFile *Outputs::output_at(const std::string &path) const {
    std::string id = file_identity(path);
    for (const Output &out : outputs_)
        if (out.file && file_identity(out.path) == id) return out.file.get();
    return nullptr;
}

AtomicFile &Outputs::open(const std::string &option) {
    for (Output &out : outputs_) {
        if (out.option != option) continue;
        if (!out.file) out.file = std::make_unique<AtomicFile>(out.option, out.path);
        return *out.file;
    }
    throw std::logic_error("no output " + option);
}

std::vector<std::string> Outputs::commit_all() {
    std::vector<std::string> problems;
    for (Output &out : outputs_) {
        if (!out.file) continue;
        // An input may have come during the run (a library the script
        // loaded): it is still never written over.
        struct stat info {};
        bool device = ::stat(out.path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
        std::string id = device ? "" : file_identity(out.path);
        const Input *same = nullptr;
        for (const Input &in : inputs_)
            if (!device && file_identity(in.path) == id) same = &in;
        if (same) {
            out.file->discard();
            problems.push_back("cannot " + action_of(out.option) + ": " + out.option + " " + out.path +
                               " is the same file as " + same->what + " " + same->path +
                               "; the file was left as it was");
            continue;
        }
        std::string problem = out.file->commit();
        if (!problem.empty()) problems.push_back(problem);
    }
    return problems;
}

void add_run_files(Outputs &outputs, const Options &options, const Inputs &inputs) {
    if (options.script) outputs.add_input("the script", *options.script);
    if (options.answers) outputs.add_input("--answers", *options.answers);
    if (!inputs.part_path.empty()) outputs.add_input(options.part ? "--part" : "the demo part", inputs.part_path);
    for (const auto &library : options.loads) {
        try {
            outputs.add_input("--load", resolve_library(library));
        } catch (const std::exception &) {
            // Reported when the run loads it.
        }
    }
    if (options.save) outputs.add_output("--save", *options.save, OutputKind::Json);
    if (options.transcript) outputs.add_output("--transcript", *options.transcript, OutputKind::Json);
    if (options.syslog) outputs.add_output("--syslog", *options.syslog, OutputKind::Text);
}

}  // namespace momsim
