// Loading the plug-in the way the host does, on every platform the suites
// run on (under Wine this goes through the real Windows loader).
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "emuhost/session.h"

namespace {

std::string error_of(const std::function<void()> &body) {
    try {
        body();
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return "";
}

TEST(PluginLoad, LoadsByFullPathAndFindsBothEntryPoints) {
    emuhost::session().reset();
    emuhost::Plugin plugin(TARVEX_PLUGIN_PATH);
    EXPECT_EQ(plugin.ask_unload(), 2);
    EXPECT_EQ(plugin.run_ufusr(), 0);
    EXPECT_EQ(emuhost::session().count_calls("UF_initialize"), 1u);
    emuhost::session().reset();
}

TEST(PluginLoad, MissingLibraryIsReportedWithItsPath) {
    std::string path = std::string(TARVEX_PLUGIN_PATH) + ".missing";
    std::string error = error_of([&] { emuhost::Plugin plugin(path); });
    EXPECT_NE(error.find("cannot load " + path), std::string::npos) << error;
}

TEST(PluginLoad, MissingEntryPointIsReportedByName) {
    emuhost::session().reset();
    emuhost::Plugin plugin(TARVEX_PLUGIN_PATH);
    std::string error = error_of([&] { plugin.run_entry("no_such_entry"); });
    EXPECT_NE(error.find("has no entry point no_such_entry"), std::string::npos) << error;
    EXPECT_EQ(emuhost::session().count_calls("UF_initialize"), 0u);
}

}  // namespace
