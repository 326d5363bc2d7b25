#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

// Files in a temporary folder with a name outside ASCII, as the tests will make photos and caches.
TEST(WincheckTest, WidePathFileRoundTrip) {
    std::error_code error;
    fs::path folder = fs::temp_directory_path(error) / L"wincheck \u00e9t\u00e9";
    ASSERT_FALSE(error) << error.message();
    fs::create_directories(folder, error);
    ASSERT_FALSE(error) << error.message();
    fs::path file = folder / L"photo \u65e5\u672c.jpg";
    {
        std::ofstream out(file, std::ios::binary);
        out << "\xff\xd8\xff\xd9";
    }
    EXPECT_EQ(fs::file_size(file, error), 4u);
    fs::remove_all(folder, error);
    EXPECT_FALSE(fs::exists(folder));
}

TEST(WincheckTest, ThreadsShareAnAtomic) {
    std::atomic<int> nCount{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) workers.emplace_back([&] { nCount += 10; });
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(nCount.load(), 40);
}
