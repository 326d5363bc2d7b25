// Loads arbitrary bytes as the cache file through the application's LoadCache, saves what was
// accepted, loads that again and requires the very same entries. The application name that
// heads an accepted file is this program's own name, "cache_fuzz".
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/text.h"
#include "core/app.h"

namespace {

struct SFuzzFiles {
    SFuzzFiles() {
        // A memory-backed folder where there is one: every save flushes to the disk.
        folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/locanym-cache-fuzz-XXXXXX"
                                                           : "/tmp/locanym-cache-fuzz-XXXXXX";
        if (!mkdtemp(folder.data())) abort();
        input = Utf8ToWide(folder + "/input.lst");
        saved = Utf8ToWide(folder + "/saved.lst");
    }
    ~SFuzzFiles() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
    std::wstring input, saved;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzFiles files;
    static CLocanymApp loaded, reloaded;
    std::ofstream(WideToUtf8(files.input), std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    loaded.m_cache.RemoveAll();
    loaded.m_strCachePath = files.input;
    loaded.LoadCache();

    // A save keeps the entries of a file that someone else wrote at its path; the last round's
    // file is not to be kept, so it goes first.
    std::error_code ec;
    std::filesystem::remove(WideToUtf8(files.saved), ec);
    loaded.m_strCachePath = files.saved;
    loaded.SaveCache();
    reloaded.m_cache.RemoveAll();
    reloaded.m_strCachePath = files.saved;
    reloaded.LoadCache();

    if (reloaded.m_cache.GetCount() != loaded.m_cache.GetCount()) {
        std::fprintf(stderr, "accepted %zu entries, %zu came back\n", loaded.m_cache.GetCount(),
                     reloaded.m_cache.GetCount());
        abort();
    }
    loaded.m_cache.ForEach([](const SCacheRecord& r) {
        const CCachedValue* p = reloaded.m_cache.Lookup(DecodeCacheText(r.path));
        if (!p || p->m_strText != DecodeCacheText(r.text) ||
            p->m_strLat != DecodeCacheText(r.lat) || p->m_strLon != DecodeCacheText(r.lon)) {
            std::fprintf(stderr, "entry changed on the way: %s\n",
                         WideToUtf8(DecodeCacheText(r.path)).c_str());
            abort();
        }
    });
    return 0;
}
