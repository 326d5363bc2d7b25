// The help page beside the module and the opener that shows it.
#include "platform/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/file_bytes.h"
#include "tests/support/plugin_host.h"

namespace {

TEST(Help, ThePageBesideTheModuleIsShownByTheOpener) {
    const auto page = std::filesystem::path(LOCANYM_MODULE_PATH).parent_path() / "Locanym.html";
    EXPECT_NE(ReadFileBytes(page).find("%L"), std::string::npos);
    EXPECT_EQ(GetHelpFilePath().substr(GetHelpFilePath().size() - 13), L"/Locanym.html");

    // The opener shows the page; a missing one stays silent.
    CTempDir dir;
    const auto opener = dir.Path() / "opener";
    const auto seen = dir.Path() / "seen";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << seen.string() << ".tmp'\nmv '"
                          << seen.string() << ".tmp' '" << seen.string() << "'\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);

    CHelpLoader loader(opener.c_str());
    EXPECT_TRUE(loader.Open(L"/docs/Locanym.html"));
    // The opener runs detached; give it a bounded while to leave its trace.
    for (int i = 0; i < 200 && !std::filesystem::exists(seen); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFileBytes(seen), "/docs/Locanym.html");

    CHelpLoader missing((dir.Path() / "no-such-opener").c_str());
    EXPECT_FALSE(missing.Open(L"/docs/Locanym.html"));
    EXPECT_TRUE(missing.HasFailed());
}

}  // namespace
