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

// Limits of one entry line's fields, in characters (the caption in its escaped form).
constexpr size_t kMaxCachePathChars = 4095;
constexpr size_t kMaxCacheCoordinateChars = 63;
constexpr size_t kMaxCacheCaptionChars = 16383;
// Below this announced count the table keeps its buckets; from it on it gets 2N+1.
constexpr long long kCacheResizeCount = 50000;

// Replaces the cache's entries with the file's when its header is accepted; otherwise the
// cache stays as it was. A line that is not a whole entry is skipped alone.
void LoadCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   CLocationCache& cache);

// Writes every entry that the format can hold to a new file and puts it in place of the old
// one only when all was written and flushed; an entry that cannot be held is left out with a
// log line.
void SaveCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   const CLocationCache& cache);
