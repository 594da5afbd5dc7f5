// The profile reader's cache of parsed INI files.
#include <cerrno>
#include <ctime>
#include <list>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "profile.h"

namespace emuhost::stand_ins {
namespace {

// What tells one state of a file from another without reading it. A write
// moves the change time (ctime) even when the writer puts the modification
// time back, and a file put in place by rename has another inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};

    explicit FileIdentity(const struct stat &info)
        : device(info.st_dev), inode(info.st_ino), size(info.st_size), modified(info.st_mtim),
          changed(info.st_ctim) {}
    bool operator==(const FileIdentity &other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// Parsed INI files, so that a post asking one file for value after value
// reads and parses it once. An entry answers only while the file's identity
// is what it was when the file was read. File times come from a coarse
// clock: two writes a few milliseconds apart can leave the same times and
// size. So an entry is trusted only when the file had been left alone for
// kSettled seconds before it was read: any later write then stamps a time
// the entry cannot hold. A file changed more recently is read again on every
// lookup until it has settled.
class ProfileCache {
public:
    // The parsed file at `path`; null when it cannot be read as a file.
    std::shared_ptr<const Profile> get(const std::string &path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = entries_.find(path);
            if (found != entries_.end()) {
                Entry &entry = found->second;
                if (entry.identity == FileIdentity(info)) {
                    use_.splice(use_.begin(), use_, entry.use);
                    return entry.profile;
                }
                forget(found);
            }
        }
        return read(path);
    }

    static constexpr time_t kSettled = 2;
    static constexpr std::size_t kMaxFiles = 32;
    static constexpr off_t kMaxBytes = 8 << 20;  // larger files are parsed per lookup

private:
    struct Entry {
        FileIdentity identity;
        std::shared_ptr<const Profile> profile;
        std::list<std::string>::iterator use;
    };
    using Entries = std::unordered_map<std::string, Entry>;

    void forget(Entries::iterator entry) {
        use_.erase(entry->second.use);
        entries_.erase(entry);
    }

    std::shared_ptr<const Profile> read(const std::string &path) {
        // Non-blocking, so that a FIFO put in the file's place meanwhile
        // cannot hold the caller; fstat then turns it away.
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return nullptr;
        struct stat before, after;
        std::string text;
        bool whole = fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
        while (whole) {
            char block[65536];
            ssize_t got = ::read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) whole = false;
            if (got <= 0) break;
            text.append(block, static_cast<std::size_t>(got));
        }
        whole = whole && fstat(fd, &after) == 0;
        close(fd);
        if (!whole) return nullptr;

        auto profile = std::make_shared<Profile>();
        parse_profile(text, *profile);
        // Keep the entry only when the file stood still while it was read
        // and had settled before.
        FileIdentity identity(before);
        if (identity == FileIdentity(after) && settled(before) && before.st_size <= kMaxBytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = entries_.find(path);
            if (found != entries_.end()) forget(found);
            while (entries_.size() >= kMaxFiles) forget(entries_.find(use_.back()));
            use_.push_front(path);
            entries_.emplace(path, Entry{identity, profile, use_.begin()});
        }
        return profile;
    }

    static bool settled(const struct stat &info) {
        struct timespec now;
        if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
        auto older = [&](const struct timespec &when) {
            return when.tv_sec < now.tv_sec - kSettled ||
                   (when.tv_sec == now.tv_sec - kSettled && when.tv_nsec <= now.tv_nsec);
        };
        return older(info.st_mtim) && older(info.st_ctim);
    }

    std::mutex mutex_;
    Entries entries_;
    std::list<std::string> use_;  // paths, most recently used first
};

}  // namespace

std::shared_ptr<const Profile> cached_profile(const std::string &path) {
    // Destroyed when the plug-in is unloaded, so an unloaded plug-in leaves
    // no parsed files behind in the host's process.
    static ProfileCache cache;
    return cache.get(path);
}

}  // namespace emuhost::stand_ins
