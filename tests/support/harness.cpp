#include "harness.h"

#include <fstream>

namespace tarvex_test {

std::vector<emuhost::TranslatorKind> translators() {
    std::vector<emuhost::TranslatorKind> kinds{emuhost::TranslatorKind::Table};
    if (emuhost::have_tcl()) kinds.push_back(emuhost::TranslatorKind::Tcl);
    return kinds;
}

std::string translator_name(const ::testing::TestParamInfo<emuhost::TranslatorKind> &info) {
    return info.param == emuhost::TranslatorKind::Tcl ? "Tcl" : "Table";
}

Output capture(const std::function<void()> &body) {
    fflush(stdout);
    fflush(stderr);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    body();
    fflush(stdout);
    fflush(stderr);
    Output output;
    output.err = ::testing::internal::GetCapturedStderr();
    output.out = ::testing::internal::GetCapturedStdout();
    return output;
}

void HostTest::SetUp() {
    emuhost::session().reset(GetParam());
    plugin_ = std::make_unique<emuhost::Plugin>(TARVEX_PLUGIN_PATH);
}

void HostTest::TearDown() {
    // The translator holds the plug-in's handlers: drop it before the library.
    emuhost::session().reset(emuhost::TranslatorKind::Table);
    plugin_.reset();
}

int HostTest::load() { return plugin_->run_ufusr(); }

emuhost::CallResult HostTest::call(const std::vector<std::string> &words) {
    return host().translator().call(words);
}

void CommandTest::SetUp() {
    HostTest::SetUp();
    load();
    host().clear_logs();
    host().clear_calls();
}

std::vector<std::string> words(const std::string &command, const std::vector<std::string> &args) {
    std::vector<std::string> out{command};
    out.insert(out.end(), args.begin(), args.end());
    return out;
}

std::string source_path() { return TARVEX_PLUGIN_SOURCE; }

int source_line_of(const std::string &text) {
    std::ifstream in(source_path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number)
        if (line.find(text) != std::string::npos) return number;
    return 0;
}

std::string report_lines(const std::string &call_text, int code, const std::string &host_text) {
    int line = source_line_of(call_text);
    EXPECT_NE(line, 0) << "no line holds " << call_text;
    // The file as the compiler recorded the call site, which the build
    // makes relative to the source tree, whichever folder it was built in.
    std::string head = std::string(TARVEX_RECORDED_SOURCE) + ", line " + std::to_string(line) + ":  " + call_text + "\n";
    if (host_text.empty()) return head + "    returned a " + std::to_string(code) + "\n";
    return head + "    returned error " + std::to_string(code) + ":  " + host_text + "\n";
}

}  // namespace tarvex_test
