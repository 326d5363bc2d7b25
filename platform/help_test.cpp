// The help page beside the module and the opener that shows it.
#include "platform/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/support/file_bytes.h"
#include "tests/support/plugin_host.h"

namespace {

TEST(Help, ThePageBesideTheModuleIsShownByTheOpener) {
    const auto page = std::filesystem::path(LOCANYM_MODULE_PATH).parent_path() / "Locanym.html";
    EXPECT_NE(ReadFileBytes(page).find("%L"), std::string::npos);
    EXPECT_EQ(GetHelpFilePath().substr(GetHelpFilePath().size() - 13), L"/Locanym.html");

    // The opener (touch here, found in PATH) gets the page's path; a missing one stays silent.
    CTempDir dir;
    const auto seen = dir.Path() / "seen.html";
    EXPECT_TRUE(CHelpLoader("touch").Open(seen.wstring()));
    // The opener runs detached; give it a bounded while to leave its trace.
    for (int i = 0; i < 200 && !std::filesystem::exists(seen); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(seen));

    CHelpLoader missing((dir.Path() / "no-such-opener").c_str());
    EXPECT_FALSE(missing.Open(L"/docs/Locanym.html"));
    EXPECT_TRUE(missing.HasFailed());
}

}  // namespace
