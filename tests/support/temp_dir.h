// Temporary folders for tests, header-only so that test programs linking no test library (the
// reference host's) use them too.
#pragma once

#include <filesystem>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>

// A new folder of this name with a random suffix, made by this call alone (create_directory
// fails for a name that exists), in the system's temporary folder on every platform.
inline std::filesystem::path MakeUniqueFolder(const std::string& strPrefix) {
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex mutex;
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    for (int nTry = 0; nTry < 100; ++nTry) {
        uint64_t nSuffix = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            nSuffix = random();
        }
        const auto folder = temp / (strPrefix + std::to_string(nSuffix % 1000000000u));
        std::error_code ec;
        if (std::filesystem::create_directory(folder, ec)) return folder;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

// A fresh empty temporary folder, removed with everything in it by the destructor.
class CTempDir {
  public:
    CTempDir() : m_path(MakeUniqueFolder("locanym-test-")) {}
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};
