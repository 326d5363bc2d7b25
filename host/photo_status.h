// What became of one photo of a caption run, told from the answer of message 19 and the log
// lines the plug-in wrote while it worked on the photo, and the tally of a whole run.
//
// The plug-in answers message 19 with a caption or with nothing; a failed lookup also answers
// a text (the service's error, or empty when "ErrMsg" is 0). The host tells them apart by the
// log lines of that photo:
//   "Missing gps location"           the photo has no position (answer: nothing)
//   no such line, answer nothing     the photo could not be read
//   "Cached"                         the caption came from the cache
//   an error line after the last request line ("QueryServer: ..."), or an error line with no
//   request at all, or an empty answer, or an answer that is one of the plug-in's own error
//   texts ("Locnm: ...")             the lookup failed
//   anything else                    a fresh caption
// None of this is called from more than one thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

enum class EPhotoStatus { kOk, kCached, kNoPosition, kUnreadable, kLookupFailed };

// "ok", "cached", "no-position", "unreadable", "lookup-failed".
const char* PhotoStatusName(EPhotoStatus eStatus);

// The log lines of one photo, fed in as they arrive.
class CPhotoTrace {
  public:
    void Clear() { *this = CPhotoTrace(); }
    // One log line: bError for the error prefix, strText without the prefix.
    void AddLine(bool bError, std::wstring_view strText);

    // The answer of message 19: null for none. strError receives the text that explains a
    // failure (empty for a success).
    EPhotoStatus Classify(const wchar_t* pszAnswer, std::wstring& strError) const;

  private:
    bool m_bCached = false;
    bool m_bNoPosition = false;
    bool m_bErrorSinceRequest = false;
    std::wstring m_strLastError;
};

// Counts of a run, its closing line and its exit status.
class CRunTally {
  public:
    void Add(EPhotoStatus eStatus);
    size_t Count(EPhotoStatus eStatus) const { return m_counts[static_cast<size_t>(eStatus)]; }
    size_t Total() const;
    // "42 photos: 40 captioned (12 from the cache), 1 without a position, 1 lookup failed".
    std::string Summary() const;
    // 0 when every photo was captioned or has no position; 1 when one could not be read (that
    // wins, since trying again does not help); 3 when a lookup failed.
    int ExitStatus() const;

  private:
    size_t m_counts[5] = {};
};

constexpr int kExitLookupFailed = 3;
