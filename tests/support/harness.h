// Shared fixture: a fresh emulated host with the plug-in loaded and its
// commands bound, under each translator this build has.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "emuhost/session.h"

namespace emuhost {
// Names the translator in test output instead of its bytes.
inline void PrintTo(TranslatorKind kind, std::ostream *out) {
    *out << (kind == TranslatorKind::Tcl ? "Tcl" : "Table");
}
}  // namespace emuhost

namespace tarvex_test {

// Translators this build can run the commands under.
std::vector<emuhost::TranslatorKind> translators();
std::string translator_name(const ::testing::TestParamInfo<emuhost::TranslatorKind> &info);

// Text written to standard output and standard error while `body` ran.
struct Output {
    std::string out;
    std::string err;
};
Output capture(const std::function<void()> &body);

// The plug-in's source, for the file and line of its reports.
std::string source_path();
// The first line of the plug-in's source holding `text`, or 0.
int source_line_of(const std::string &text);
// The two lines report_host_call prints for `call_text` failing with `code`:
// `host_text` empty means the host has no text for the code.
std::string report_lines(const std::string &call_text, int code, const std::string &host_text);

class HostTest : public ::testing::TestWithParam<emuhost::TranslatorKind> {
protected:
    void SetUp() override;
    void TearDown() override;

    emuhost::Session &host() { return emuhost::session(); }
    // Runs ufusr as the host does; answers the retcode it left.
    int load();
    // Runs one command by its words.
    emuhost::CallResult call(const std::vector<std::string> &words);
    std::unique_ptr<emuhost::Plugin> plugin_;
};

// HostTest with the plug-in started and the start's log and calls cleared,
// so a test sees only what its own commands did.
class CommandTest : public HostTest {
protected:
    void SetUp() override;
};

// The words of one command call: the command's name, then its arguments.
std::vector<std::string> words(const std::string &command, const std::vector<std::string> &args);

}  // namespace tarvex_test

// Runs every TEST_P of `Suite` once under each translator.
#define TARVEX_ALL_TRANSLATORS(Suite)                                             \
    INSTANTIATE_TEST_SUITE_P(Translators, Suite,                                  \
                             ::testing::ValuesIn(::tarvex_test::translators()),   \
                             ::tarvex_test::translator_name)
