// Loading the plug-in the way the host does, on every platform the suites
// run on (under Wine this goes through the real Windows loader).
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

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

#if defined(_WIN32)
// The version resource, read the way a file's properties read it.
TEST(PluginLoad, VersionResourceReadsAsWindowsShowsIt) {
    std::string path = TARVEX_PLUGIN_PATH;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource in " << path;
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(version, TARVEX_VERSION);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    auto text = [&](const char *name) {
        char *value = nullptr;
        UINT chars = 0;
        std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void **>(&value), &chars) || !value)
            return std::string("(none)");
        return std::string(value);
    };
    const std::string width = sizeof(void *) == 8 ? "x64" : "x32";
    EXPECT_EQ(text("ProductName"), "tarvex");
    EXPECT_EQ(text("ProductVersion"), TARVEX_VERSION);
    EXPECT_EQ(text("FileVersion"), TARVEX_VERSION);
    EXPECT_EQ(text("OriginalFilename"), "tarvex_" + width + ".dll");
    EXPECT_NE(text("FileDescription").find(sizeof(void *) == 8 ? "64-bit host" : "32-bit host"), std::string::npos);
    EXPECT_EQ(text("LegalCopyright").rfind("Copyright (C) ", 0), 0u) << text("LegalCopyright");
}
#endif

}  // namespace
