// The version record the build embeds, read back from the module's own file. The version text
// the host asks for is checked in module_messages_test, the dialog's title in dialogs_test.
#include "platform/module_version.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/plugin_host.h"

namespace {

TEST(ModuleVersion, ByNameOnlyLoadedModulesWithARecordAnswer) {
    // A copy of the real module on disk, with its record, but never loaded: false, since the
    // name is looked up among loaded modules only.
    CTempDir dir;
    const auto copy = dir.Path() / "LocanymNotLoaded.so";
    std::filesystem::copy_file(LOCANYM_MODULE_PATH, copy);
    CModuleVersion version;
    EXPECT_FALSE(version.GetFileVersionInfo(copy.wstring().c_str()));
    EXPECT_FALSE(version.GetFileVersionInfo(L"LocanymNotLoaded.so"));
    EXPECT_EQ(version.dwProductVersionMS, 0u);

    void* hModule = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hModule, nullptr);
    EXPECT_TRUE(version.GetFileVersionInfo(L"LocanymNotLoaded.so"));
    EXPECT_EQ(version.dwSignature, kVersionSignature);
    EXPECT_EQ(version.dwProductVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(version.dwProductVersionLS, 0x00010000u);  // 1.0
    // A loaded library without a record.
    EXPECT_FALSE(version.GetFileVersionInfo(L"libc.so.6"));
    EXPECT_EQ(version.dwSignature, 0u);
    dlclose(hModule);
}

}  // namespace
