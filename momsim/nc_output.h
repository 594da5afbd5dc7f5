// The files a post writes through the host: the NC output and the listing
// beside it. Each is written under a temporary name in its own folder and
// renamed into place when the run ends, so a run never leaves a
// half-written file where a good one was.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace momsim {

class OutputFile {
public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}
    ~OutputFile();  // a file never committed is removed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    const std::string &path() const { return path_; }
    bool started() const { return file_ != nullptr; }

    // Creates the temporary file beside the final one. Throws
    // std::runtime_error naming the file and the reason.
    void start();
    // One line: the text and a line end. Starts the file when needed.
    void write_line(const std::string &text);
    // Renames the file into place. Answers the problem, or "" when it went
    // well (or nothing was started). Only the first call does anything.
    std::string commit();
    // Removes the temporary file: the file in place stays as it was.
    void discard();

private:
    std::string path_;
    std::string temp_;
    std::FILE *file_ = nullptr;
    bool failed_ = false;
};

// The NC output and its listing: MOM_output_literal and MOM_output_text
// write the one, MOM_output_to_listing_device the other.
class NcOutputs {
public:
    // The NC file; the listing is the same path with the extension .lpt
    // (or .lpt added, when the NC file itself ends in .lpt).
    void set_nc_path(const std::string &path);
    bool has_nc_path() const { return nc_ != nullptr; }

    OutputFile &nc() { return *nc_; }
    OutputFile &listing() { return *listing_; }

    // Every file this run writes or may write, for checks that no input is
    // ever overwritten.
    std::vector<std::string> paths() const;

    // Commits both; answers the problems, one text each.
    std::vector<std::string> commit();
    void discard();

private:
    std::unique_ptr<OutputFile> nc_;
    std::unique_ptr<OutputFile> listing_;
};

std::string listing_path_for(const std::string &nc_path);

}  // namespace momsim
