#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "emuhost/paths.h"
#include "usage_error.h"

namespace momsim {
namespace {

// The temporary files being written, where a signal handler can read them:
// plain pointers into each file's own name, in a table that is never
// resized. A run with more outputs open than it holds leaves the rest to
// the ordinary end.
constexpr std::size_t kListed = 256;
std::atomic<const char *> listed[kListed];

void enlist(const std::string &temporary) {
    for (auto &slot : listed) {
        const char *empty = nullptr;
        if (slot.compare_exchange_strong(empty, temporary.c_str())) return;
    }
}

void delist(const std::string &temporary) {
    const char *name = temporary.c_str();
    for (auto &slot : listed) {
        const char *expected = name;
        if (slot.compare_exchange_strong(expected, nullptr)) return;
    }
}

}  // namespace

void remove_temporary_files() noexcept {
    for (auto &slot : listed)
        if (const char *name = slot.exchange(nullptr)) ::unlink(name);
}

AtomicFile::AtomicFile(std::string label, std::string path) : label_(std::move(label)), path_(std::move(path)) {
    struct stat info {};
    bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a pipe (/dev/null, /dev/stderr) is written in place:
        // renaming a file onto it would replace the device itself.
        file_ = std::fopen(path_.c_str(), "wb");
        if (file_ == nullptr)
            throw UsageError(label_ + " " + path_ + ": cannot be written: " + std::strerror(errno));
        return;
    }
    // A symbolic link keeps pointing where it did: the file it names is
    // the one replaced.
    std::string target = exists ? emuhost::real_path(path_).value_or(path_) : path_;
    temporary_ = target + ".momsim-XXXXXX";
    int fd = ::mkstemp(&temporary_[0]);
    if (fd < 0) {
        std::string why = std::strerror(errno);
        temporary_.clear();
        throw UsageError(label_ + " " + path_ + ": cannot write in its folder: " + why);
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
        throw UsageError(label_ + " " + path_ + ": cannot be written");
    }
    target_ = target;
    enlist(temporary_);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

AtomicFile::~AtomicFile() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty()) {
        delist(temporary_);
        ::unlink(temporary_.c_str());
    }
}

void AtomicFile::write(const std::string &text, bool flush) {
    if (!file_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || (flush && std::fflush(file_) != 0))
        failed_ = true;
}

std::string AtomicFile::commit() { return finish(target_); }

std::string AtomicFile::keep_partial() { return finish(partial_path()); }

std::string AtomicFile::partial_path() const {
    if (target_.empty()) return "";
    // Beside the file as it was named, unless that name is a symbolic link:
    // then beside the file it points to, where the temporary file is.
    struct stat info {};
    bool link = ::lstat(path_.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    return (link ? target_ : path_) + ".partial";
}

std::string AtomicFile::finish(const std::string &onto) {
    if (!file_) return "";
    bool ok = !failed_ && std::fflush(file_) == 0;
    if (ok && !temporary_.empty()) ok = ::fsync(::fileno(file_)) == 0;
    std::string why = ok ? "" : std::strerror(errno);
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    file_ = nullptr;
    std::string head = label_ + " " + (onto == target_ ? path_ : onto) + ": ";
    if (temporary_.empty()) return ok ? "" : head + why;
    delist(temporary_);
    if (ok && ::rename(temporary_.c_str(), onto.c_str()) != 0) {
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
    if (!temporary_.empty()) {
        delist(temporary_);
        ::unlink(temporary_.c_str());
    }
    temporary_.clear();
}

void AtomicFile::restart() {
    if (!file_ || temporary_.empty()) return;
    if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0) failed_ = true;
    std::rewind(file_);
}

}  // namespace momsim
