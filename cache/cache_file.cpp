#include "cache/cache_file.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "base/log.h"
#include "base/text.h"
#include "base/utf.h"
#include "platform/file.h"

namespace {

constexpr size_t kReadChunkBytes = size_t{1} << 20;
constexpr size_t kWriteChunkBytes = size_t{1} << 20;
// An entry line at its limits, every character four bytes long, with room for blanks after
// the last bar. A longer line cannot be an entry and is dropped as it is read.
constexpr size_t kMaxLineBytes =
    4 * (kMaxCachePathChars + 2 * kMaxCacheCoordinateChars + kMaxCacheCaptionChars + 4) + 1024;
// The shortest entry line, "a|b|c|d|", bounds how many entries a file of a given size holds.
constexpr uint64_t kMinEntryChars = 8;
// Lines left out of a save are named one by one up to this many; the rest are only counted.
constexpr int kMaxLeftOutLines = 10;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// How many bytes at the start of text are ASCII, eight at a time: most of a cache line is, and
// UTF-8 is valid from any ASCII byte on exactly when it is valid as a whole.
size_t AsciiPrefixLength(std::string_view text) {
    constexpr uint64_t kHighBits = 0x8080808080808080u;
    size_t i = 0;
    for (uint64_t word = 0; i + sizeof word <= text.size(); i += sizeof word) {
        std::memcpy(&word, text.data() + i, sizeof word);
        if (word & kHighBits) break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

// Reads a cache file line by line as UTF-8, whatever its encoding on disk, holding at most one
// chunk of the file and one line in memory.
class CCacheLineReader {
  public:
    // A small file gets a buffer of its size, not a whole chunk.
    explicit CCacheLineReader(CSequentialFile& file)
        : m_file(file), m_raw(std::min<uint64_t>(kReadChunkBytes, file.GetSize() + 16)) {}

    // Reads the byte-order mark, if any, and picks the encoding. False on a read error.
    bool Start() {
        size_t nHave = 0;
        while (nHave < 3) {
            size_t n = 0;
            if (!m_file.Read(m_raw.data() + nHave, m_raw.size() - nHave, n, m_strError))
                return Fail();
            if (n == 0) break;
            nHave += n;
        }
        size_t nSkip = 0;
        if (nHave >= 3 && std::memcmp(m_raw.data(), kUtf8Bom, 3) == 0) {
            nSkip = 3;
        } else {
            m_bUtf16 = true;
            if (nHave >= 2 && static_cast<unsigned char>(m_raw[0]) == 0xFF &&
                static_cast<unsigned char>(m_raw[1]) == 0xFE)
                nSkip = 2;
        }
        Convert(m_raw.data() + nSkip, nHave - nSkip);
        return true;
    }

    bool IsUtf16() const { return m_bUtf16; }
    bool Failed() const { return m_bFailed; }
    const std::wstring& Error() const { return m_strError; }

    // The next line without its line feed (and without a carriage return just before it), as
    // valid UTF-8; the view stays valid until the next call. A line longer than kMaxLineBytes
    // comes back cut, with bOverlong set. False at the end of the file or on a read error.
    bool NextLine(std::string_view& line, bool& bOverlong) {
        bOverlong = false;
        if (m_nPos >= m_text.size() && !Fill()) return false;
        const char* pStart = m_text.data() + m_nPos;
        size_t nAvail = m_text.size() - m_nPos;
        auto* pFeed = static_cast<const char*>(std::memchr(pStart, '\n', nAvail));
        bool bEnded = pFeed != nullptr;
        if (bEnded && static_cast<size_t>(pFeed - pStart) <= kMaxLineBytes) {
            // The usual case: the whole line lies in the chunk and is used where it is.
            line = std::string_view(pStart, static_cast<size_t>(pFeed - pStart));
            m_nPos += line.size() + 1;
        } else {
            m_line.clear();
            for (;;) {
                const size_t nTake = pFeed ? static_cast<size_t>(pFeed - pStart) : nAvail;
                const size_t nRoom = kMaxLineBytes - m_line.size();
                m_line.append(pStart, nTake < nRoom ? nTake : nRoom);
                if (nTake > nRoom) bOverlong = true;
                m_nPos += nTake + (pFeed ? 1 : 0);
                bEnded = pFeed != nullptr;
                if (bEnded || !Fill()) break;
                pStart = m_text.data();
                nAvail = m_text.size();
                pFeed = static_cast<const char*>(std::memchr(pStart, '\n', nAvail));
            }
            line = m_line;
        }
        if (bEnded && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!m_bUtf16 && !IsValidUtf8(line.substr(AsciiPrefixLength(line)))) {
            m_line = WideToUtf8(Utf8ToWide(line));
            line = m_line;
        }
        return true;
    }

  private:
    bool Fail() {
        m_bFailed = true;
        return false;
    }

    // Replaces the buffer with the next chunk's text; false when nothing is left. A chunk may
    // give no text of its own (half a UTF-16 unit), so reading goes on until one does.
    bool Fill() {
        m_buf.clear();
        m_text = {};
        m_nPos = 0;
        while (m_text.empty()) {
            if (m_bEnd || m_bFailed) return false;
            size_t n = 0;
            if (!m_file.Read(m_raw.data(), m_raw.size(), n, m_strError)) return Fail();
            if (n == 0) {
                m_bEnd = true;
                std::wstring rest;
                m_decoder.Finish(rest);
                m_buf = WideToUtf8(rest);
                m_text = m_buf;
                return !m_text.empty();
            }
            Convert(m_raw.data(), n);
        }
        return true;
    }

    void Convert(const char* p, size_t n) {
        if (!m_bUtf16) {
            // UTF-8 is used where it was read, without a copy.
            m_text = std::string_view(p, n);
            return;
        }
        std::wstring wide;
        wide.reserve(n / 2 + 2);
        m_decoder.Feed(p, n, wide);
        m_buf += WideToUtf8(wide);
        m_text = m_buf;
    }

    CSequentialFile& m_file;
    std::vector<char> m_raw;
    std::string m_buf;        // UTF-8 decoded from the current UTF-16 chunk
    std::string_view m_text;  // the current chunk's text: in m_raw (UTF-8) or in m_buf
    std::string m_line;       // a line that spans chunks, or one that had to be repaired
    size_t m_nPos = 0;
    bool m_bUtf16 = false;
    bool m_bEnd = false;
    bool m_bFailed = false;
    CUtf16LeDecoder m_decoder;
    std::wstring m_strError;
};

// A number as the C library's "%i" reads it: blanks, a sign, then decimal, hexadecimal after
// 0x or octal after a leading 0, up to the first character that is not a digit. No digits
// read as 0; a value too large is held at the largest.
long long ParseHeaderNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    bool bNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) bNegative = s[i++] == '-';
    unsigned base = 10;
    auto hexDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    if (i < s.size() && s[i] == '0') {
        base = 8;
        if (i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') && hexDigit(s[i + 2])) {
            base = 16;
            i += 2;
        }
    }
    unsigned long long value = 0;
    constexpr unsigned long long kLimit = static_cast<unsigned long long>(LLONG_MAX);
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        if (digit >= base) break;
        value = value > (kLimit - digit) / base ? kLimit : value * base + digit;
    }
    return bNegative ? -static_cast<long long>(value) : static_cast<long long>(value);
}

// Splits one entry line into its four fields and decodes the caption (into strCaption when it
// holds an escape, so that caption may point there). False
// when the line is not exactly four non-empty bar-ended fields followed by blanks, a field is
// over its limit, or the entry could not be written back as it is read.
bool ParseEntryLine(std::string_view line, std::string_view (&fields)[4], std::string_view& caption,
                    std::string& strCaption) {
    for (std::string_view& field : fields) {
        const size_t bar = line.find('|');
        if (bar == std::string_view::npos || bar == 0) return false;
        field = line.substr(0, bar);
        line.remove_prefix(bar + 1);
    }
    for (char c : line)
        if (!IsBlank(c)) return false;
    static constexpr size_t kLimits[4] = {kMaxCachePathChars, kMaxCacheCoordinateChars,
                                          kMaxCacheCoordinateChars, kMaxCacheCaptionChars};
    for (int i = 0; i < 4; ++i) {
        if (fields[i].size() > kLimits[i] && CountCacheChars(fields[i]) > kLimits[i]) return false;
        // A carriage return survives in the caption only escaped.
        if (i < 3 && fields[i].find('\r') != std::string_view::npos) return false;
    }
    // The stored caption is escaped without quotes, so only the escapes are decoded: a quote at
    // either end is part of the caption.
    const std::string_view text = fields[3];
    const size_t nFirstEscape = text.find('\\');
    if (nFirstEscape == std::string_view::npos) {
        caption = text;
        return true;
    }
    strCaption.assign(text.substr(0, nFirstEscape));
    for (size_t i = nFirstEscape; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            strCaption += c;
            continue;
        }
        if (i + 1 >= text.size()) break;
        const char e = text[++i];
        strCaption += (e == 'n' || e == 'N') ? '\n' : (e == 'r' || e == 'R') ? '\r' : e;
    }
    caption = strCaption;
    return !strCaption.empty();
}

// What one pass over a text to be written finds.
struct SFieldScan {
    size_t nChars = 0;
    size_t nEscapes = 0;  // characters that the caption's encoding doubles
    bool bBar = false;
    bool bLineBreak = false;
    bool bUnicode = true;
};

SFieldScan ScanField(std::string_view text) {
    SFieldScan scan;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++scan.nChars;
            switch (b) {
                case '|':
                    scan.bBar = true;
                    break;
                case '\\':
                    ++scan.nEscapes;
                    break;
                case '\n':
                case '\r':
                    scan.bLineBreak = true;
                    ++scan.nEscapes;
                    break;
                default:
                    break;
            }
            continue;
        }
        if ((b & 0xC0) == 0x80) continue;
        ++scan.nChars;
        if (b >= 0xED && !IsUnicodeCacheText(text.substr(i, 2))) scan.bUnicode = false;
    }
    return scan;
}

// Why an entry cannot be written so that it reads back as it is, or null when it can.
const wchar_t* WhyNotWritable(const SCacheRecord& r) {
    const std::string_view fields[3] = {r.path, r.lat, r.lon};
    static constexpr size_t kLimits[3] = {kMaxCachePathChars, kMaxCacheCoordinateChars,
                                          kMaxCacheCoordinateChars};
    for (int i = 0; i < 3; ++i) {
        if (fields[i].empty()) return L"empty field";
        const SFieldScan scan = ScanField(fields[i]);
        if (scan.bBar || scan.bLineBreak) return L"vertical bar or line break";
        if (scan.nChars > kLimits[i]) return L"field too long";
        if (!scan.bUnicode) return L"not Unicode text";
    }
    if (r.text.empty()) return L"empty caption";
    const SFieldScan scan = ScanField(r.text);
    if (scan.bBar) return L"vertical bar in caption";
    if (scan.nChars + scan.nEscapes > kMaxCacheCaptionChars) return L"caption too long";
    if (!scan.bUnicode) return L"not Unicode text";
    return nullptr;
}

void AppendEscaped(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' && c != '\n' && c != '\r') continue;
        out.append(text.data() + start, i - start);
        out += '\\';
        out += c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
        start = i + 1;
    }
    out.append(text.data() + start, text.size() - start);
}

// Stores entries in the order given, a few entries behind: each waits in a ring while the
// memory that its store will touch (its bucket, then the head of its chain) is fetched, so the
// waits of several entries overlap instead of adding up. The texts are copied into the ring,
// since the reader's lines do not outlive the next read.
class CStorePipeline {
  public:
    explicit CStorePipeline(CLocationCache& cache) : m_cache(cache) {}
    CStorePipeline(const CStorePipeline&) = delete;
    CStorePipeline& operator=(const CStorePipeline&) = delete;

    void Store(std::string_view path, std::string_view lat, std::string_view lon,
               std::string_view text) {
        if (m_nCount == kDepth) StoreOldest();
        SPending& slot = m_ring[(m_nFirst + m_nCount) % kDepth];
        slot.strTexts.assign(path);
        slot.strTexts.append(lat);
        slot.strTexts.append(lon);
        slot.strTexts.append(text);
        slot.nPath = path.size();
        slot.nLat = lat.size();
        slot.nLon = lon.size();
        slot.nHash = HashCacheKey(path);
        m_cache.Prefetch(slot.nHash, 0);
        ++m_nCount;
        // Halfway through the ring the bucket has arrived: fetch the head of its chain.
        if (m_nCount > kDepth / 2)
            m_cache.Prefetch(m_ring[(m_nFirst + m_nCount - 1 - kDepth / 2) % kDepth].nHash, 1);
    }

    void Flush() {
        while (m_nCount > 0) StoreOldest();
    }

  private:
    static constexpr size_t kDepth = 16;
    struct SPending {
        std::string strTexts;
        size_t nPath = 0, nLat = 0, nLon = 0;
        uint32_t nHash = 0;
    };

    void StoreOldest() {
        const SPending& slot = m_ring[m_nFirst];
        const std::string_view all(slot.strTexts);
        m_cache.StoreEncoded(all.substr(0, slot.nPath), all.substr(slot.nPath, slot.nLat),
                             all.substr(slot.nPath + slot.nLat, slot.nLon),
                             all.substr(slot.nPath + slot.nLat + slot.nLon), slot.nHash);
        m_nFirst = (m_nFirst + 1) % kDepth;
        --m_nCount;
    }

    CLocationCache& m_cache;
    SPending m_ring[kDepth];
    size_t m_nFirst = 0;
    size_t m_nCount = 0;
};

enum class ECacheRead {
    kRejected,  // no file, a header that was not accepted, or a read error before the entries
    kEmpty,     // a whole header that announces no entries; the table was left as it was
    kLoaded,    // the file's entries replaced the table's
};

// Reads the file into the table as LoadCacheFile describes; with bReport false it writes no log
// line. Unless it answers kRejected, pStamp (may be null) gets the file's stamp (all zero after
// a read error).
ECacheRead ReadCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                         CLocationCache& cache, bool bReport, SFileStamp* pStamp) {
    auto report = [bReport](int nLevel, std::wstring_view format, const auto&... args) {
        if (bReport) WriteLog(nLevel, format, args...);
    };
    std::wstring strError;
    std::unique_ptr<CSequentialFile> file = OpenSequentialFile(strPath, strError);
    if (!file) {
        report(kLogError, L"LoadCache: Unable to open file %s", strPath);
        return ECacheRead::kRejected;
    }
    CCacheLineReader reader(*file);
    std::string_view line;
    bool bOverlong = false;
    auto readHeader = [&]() { return reader.NextLine(line, bOverlong); };
    auto reportReadError = [&]() {
        if (reader.Failed())
            report(kLogError, L"LoadCache: Error reading file %s: %s", strPath, reader.Error());
        return ECacheRead::kRejected;
    };

    if (!reader.Start() || !readHeader()) return reportReadError();
    const std::string strApp = WideToUtf8(strAppName);
    if (line.compare(0, strApp.size(), strApp) != 0) {
        report(kLogError, L"LoadCache: AppName wrong, list discarded");
        return ECacheRead::kRejected;
    }
    if (!readHeader()) return reportReadError();
    if (line.empty() || line[0] != 'v') {
        report(kLogError, L"LoadCache: no version #, list discarded");
        return ECacheRead::kRejected;
    }
    if (ParseHeaderNumber(std::string_view(line).substr(1)) != 1) {
        report(kLogError, L"LoadCache: version not compatible, list discarded");
        return ECacheRead::kRejected;
    }
    if (!readHeader()) return reportReadError();
    const long long nAnnounced = ParseHeaderNumber(line);
    if (nAnnounced <= 0) {
        report(kLogError, L"LoadCache: no files, list discarded");
        if (pStamp) *pStamp = file->GetStamp();
        return ECacheRead::kEmpty;
    }

    cache.RemoveAll();
    // The announced count sizes the table only as far as the file can back it up, and never
    // beyond a first guess: the table grows as entries arrive, so a count that the file only
    // claims (a sparse or damaged file) costs no memory.
    const uint64_t nFileChars = file->GetSize() / (reader.IsUtf16() ? 2 : 1);
    const uint64_t nPossible =
        std::min({static_cast<uint64_t>(nAnnounced), nFileChars / kMinEntryChars + 1,
                  static_cast<uint64_t>(kCacheFirstGuessCount)});
    if (nPossible >= static_cast<uint64_t>(kCacheResizeCount)) {
        cache.SetBucketCount(static_cast<size_t>(2 * nPossible + 1));
        cache.Reserve(static_cast<size_t>(nPossible));
    }

    long long nLines = 0, nSkipped = 0;
    std::string strCaption;
    std::string_view fields[4], caption;
    CStorePipeline pipeline(cache);
    while (nLines < nAnnounced && reader.NextLine(line, bOverlong)) {
        bool bBlank = !bOverlong;
        for (char c : line) {
            if (!IsBlank(c)) {
                bBlank = false;
                break;
            }
        }
        if (bBlank) continue;
        ++nLines;
        if (bOverlong || !ParseEntryLine(line, fields, caption, strCaption)) {
            ++nSkipped;
            continue;
        }
        pipeline.Store(fields[0], fields[1], fields[2], caption);
    }
    pipeline.Flush();
    reportReadError();
    if (nSkipped > 0) report(kLogError, L"LoadCache: %lld bad lines skipped", nSkipped);
    report(kLogInfo, L"LoadCache: n. files %d", cache.GetCount());
    if (pStamp) *pStamp = reader.Failed() ? SFileStamp() : file->GetStamp();
    return ECacheRead::kLoaded;
}

// Writes the table to a new file and puts it in place of the old one. False after a failure,
// which it has logged.
bool WriteCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                    const CLocationCache& cache) {
    std::wstring strError;
    std::unique_ptr<CReplacingFile> file = CreateReplacingFile(strPath, strError);
    if (!file) {
        WriteLog(kLogError, L"SaveCache: Unable to create file %s", strPath);
        WriteLog(kLogError, L"SaveCache: %s", strError);
        return false;
    }
    // The count line comes first, so the entries that cannot be written are found first.
    long long nWritable = 0, nLeftOut = 0;
    std::vector<bool> writable;
    writable.reserve(cache.GetCount());
    cache.ForEach([&](const SCacheRecord& r) {
        const wchar_t* pszWhy = WhyNotWritable(r);
        writable.push_back(pszWhy == nullptr);
        if (!pszWhy) {
            ++nWritable;
        } else if (++nLeftOut <= kMaxLeftOutLines) {
            WriteLog(kLogInfo, L"SaveCache: entry left out (%s): %s", pszWhy,
                     DecodeCacheText(r.path));
        }
    });
    if (nLeftOut > 0) WriteLog(kLogInfo, L"SaveCache: %lld entries left out", nLeftOut);

    std::string buffer;
    buffer += kUtf8Bom;
    buffer += WideToUtf8(strAppName);
    buffer += " cache\r\nv1\r\n";
    buffer += std::to_string(nWritable);
    buffer += "\r\n";
    bool bOk = true;
    size_t nIndex = 0;
    cache.ForEach([&](const SCacheRecord& r) {
        if (!writable[nIndex++] || !bOk) return;
        for (std::string_view field : {r.path, r.lat, r.lon}) {
            buffer += field;
            buffer += '|';
        }
        AppendEscaped(buffer, r.text);
        buffer += "|\r\n";
        if (buffer.size() >= kWriteChunkBytes) {
            bOk = file->Append(buffer.data(), buffer.size(), strError);
            buffer.clear();
        }
    });
    if (bOk) bOk = file->Append(buffer.data(), buffer.size(), strError);
    if (bOk) bOk = file->Commit(strError);
    if (!bOk) {
        WriteLog(kLogError, L"SaveCache: Error writing file %s", strPath);
        WriteLog(kLogError, L"SaveCache: %s", strError);
    }
    return bOk;
}

// Holds the cache file's lock for a save. Without the lock the save still goes on: the
// temporary file is the writer's own, so the file stays whole, and only entries that another
// process saves at the same moment may be missed.
std::unique_ptr<CFileLock> LockForSave(const std::wstring& strPath) {
    std::wstring strError;
    std::unique_ptr<CFileLock> lock = LockFile(strPath, kCacheLockWaitMs, strError);
    if (!lock) WriteLog(kLogError, L"SaveCache: cache file not locked: %s", strError);
    return lock;
}

}  // namespace

void LoadCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   CLocationCache& cache, SCacheFileSync* pSync) {
    SFileStamp stamp;
    const ECacheRead eRead = ReadCacheFile(strPath, strAppName, cache, true, &stamp);
    if (pSync) {
        // A file of no entries holds what an empty table holds: a session that adds nothing
        // need not write it again.
        const bool bHoldsTable =
            eRead == ECacheRead::kLoaded || (eRead == ECacheRead::kEmpty && cache.GetCount() == 0);
        pSync->bKnown = bHoldsTable && stamp != SFileStamp();
        pSync->stamp = stamp;
        pSync->nChanges = cache.GetChangeCount();
    }
}

void SaveCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   const CLocationCache& cache) {
    std::unique_ptr<CFileLock> lock = LockForSave(strPath);
    WriteCacheFile(strPath, strAppName, cache);
}

void SyncCacheFile(const std::wstring& strPath, const std::wstring& strAppName,
                   CLocationCache& cache, SCacheFileSync& sync) {
    std::wstring strError;
    SFileStamp now;
    bool bExists = GetFileStamp(strPath, now, strError);
    if (sync.bKnown && cache.GetChangeCount() == sync.nChanges && bExists && now == sync.stamp)
        return;

    std::unique_ptr<CFileLock> lock = LockForSave(strPath);
    bExists = GetFileStamp(strPath, now, strError);
    if (bExists && !(sync.bKnown && now == sync.stamp)) {
        // Another process wrote the file since this session last read or wrote it: keep its
        // entries that this session does not have. For a path that both have, this session's
        // caption is kept.
        CLocationCache other;
        if (ReadCacheFile(strPath, strAppName, other, false, nullptr) == ECacheRead::kLoaded) {
            long long nKept = 0;
            other.ForEach([&](const SCacheRecord& r) {
                if (cache.ContainsEncoded(r.path)) return;
                cache.StoreEncoded(r.path, r.lat, r.lon, r.text);
                ++nKept;
            });
            if (nKept > 0)
                WriteLog(kLogInfo, L"SaveCache: %lld entries saved by another session kept", nKept);
        }
    }
    if (!WriteCacheFile(strPath, strAppName, cache)) {
        sync.bKnown = false;
        return;
    }
    sync.bKnown = GetFileStamp(strPath, sync.stamp, strError);
    sync.nChanges = cache.GetChangeCount();
}
