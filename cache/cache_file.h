// The cache file: text headed by the application name, a version and a count, then one line
// per entry "path|latitude|longitude|caption|" with the caption's backslash, line feed and
// carriage return escaped. Written as UTF-8 with a byte-order mark and CR LF line ends; read as
// UTF-8 or UTF-16 LE by the byte-order mark, UTF-16 LE when there is none.
//
// Both functions report only through log lines and never throw for bad content; memory
// exhaustion (std::bad_alloc) is the caller's to catch.
#pragma once

#include <string>

#include "cache/location_cache.h"
#include "platform/file.h"

// Limits of one entry line's fields, in characters (the caption in its escaped form).
constexpr size_t kMaxCachePathChars = 4095;
constexpr size_t kMaxCacheCoordinateChars = 63;
constexpr size_t kMaxCacheCaptionChars = 16383;
// Below this announced count the table keeps its buckets; from it on it gets 2N+1, N being
// at most the first guess (the table grows past it as entries are read).
constexpr long long kCacheResizeCount = 50000;
constexpr long long kCacheFirstGuessCount = 2000000;
// How long a save waits for another process's save of the same file before it goes on alone.
constexpr int kCacheLockWaitMs = 10000;

// What a session knows of its cache file: the stamp of the version that it last read or wrote
// whole, and the table's change count at that moment.
struct SCacheFileSync {
    bool bKnown = false;  // false: the file on disk is not known to hold the table's entries
    SFileStamp stamp;
    uint64_t nChanges = 0;
};

// Replaces the cache's entries with the file's when its header is accepted; otherwise the
// cache stays as it was. A line that is not a whole entry is skipped alone. pSync (may be
// null) learns which version of the file the table now holds.
void LoadCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   CLocationCache& cache, SCacheFileSync* pSync = nullptr);

// Writes every entry that the format can hold to a new file and puts it in place of the old
// one only when all was written and flushed; an entry that cannot be held is left out with a
// log line. Holds the file's lock (LockFile) while it writes.
void SaveCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   const CLocationCache& cache);

// A session's save. Does nothing when the table has not changed since sync and the file is
// still the version sync knows. Otherwise, holding the file's lock: when another process has
// written the file since, adds its entries for paths that the table lacks, then saves as
// SaveCacheFile does and updates sync.
void SyncCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   CLocationCache& cache, SCacheFileSync& sync);
