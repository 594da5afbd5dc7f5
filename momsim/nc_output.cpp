#include "nc_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace momsim {

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
    std::remove(temp_.c_str());
}

void OutputFile::start() {
    if (file_) return;
    // Found out now rather than when the run ends and the rename fails.
    struct stat info;
    if (::stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw std::runtime_error("cannot write '" + path_ + "': it is a folder");
    std::string pattern = path_ + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("cannot write '" + path_ + "': " + std::strerror(errno));
    // mkstemp makes the file for its owner only; the output gets the mode
    // any new file of the user gets.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        int error = errno;
        ::close(fd);
        ::unlink(name.data());
        throw std::runtime_error("cannot write '" + path_ + "': " + std::strerror(error));
    }
    temp_ = name.data();
    // Posts write many short lines: a large buffer keeps system calls few.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

void OutputFile::write_line(const std::string &text) {
    start();
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fputc('\n', file_) == EOF)
        failed_ = true;
}

std::string OutputFile::commit() {
    if (!file_) return "";
    bool bad = failed_ || std::ferror(file_);
    int error = errno;
    if (std::fclose(file_) != 0) {
        bad = true;
        error = errno;
    }
    file_ = nullptr;
    if (bad) {
        std::remove(temp_.c_str());
        return "cannot write '" + path_ + "': " + std::strerror(error) + "; the file was left as it was";
    }
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        error = errno;
        std::remove(temp_.c_str());
        return "cannot put '" + path_ + "' in place: " + std::strerror(error) + "; the file was left as it was";
    }
    return "";
}

std::string listing_path_for(const std::string &nc_path) {
    auto slash = nc_path.rfind('/');
    auto dot = nc_path.rfind('.');
    std::string stem = nc_path;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) stem = nc_path.substr(0, dot);
    std::string listing = stem + ".lpt";
    return listing == nc_path ? nc_path + ".lpt" : listing;
}

void NcOutputs::set_nc_path(const std::string &path) {
    nc_ = std::make_unique<OutputFile>(path);
    listing_ = std::make_unique<OutputFile>(listing_path_for(path));
}

std::vector<std::string> NcOutputs::paths() const {
    if (!nc_) return {};
    return {nc_->path(), listing_->path()};
}

void NcOutputs::discard() {
    if (nc_) nc_->discard();
    if (listing_) listing_->discard();
}

std::vector<std::string> NcOutputs::commit() {
    std::vector<std::string> problems;
    for (OutputFile *file : {nc_.get(), listing_.get()}) {
        if (!file) continue;
        std::string problem = file->commit();
        if (!problem.empty()) problems.push_back(problem);
    }
    return problems;
}

}  // namespace momsim
