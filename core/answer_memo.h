// Answers of this session's lookups, so that photos taken at one position (a burst) cost one
// request: a later lookup with the same service, language and position texts is answered with
// the record an earlier one got.
//
// Holds only understood answers, at most kMaxAnswerMemoEntries of them; when full it forgets
// all and starts again. Not thread-safe: the caller serialises access.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "services/location_record.h"

constexpr size_t kMaxAnswerMemoEntries = 4096;

class CAnswerMemo {
  public:
    // The record remembered for the lookup, or null. Valid until the memo is next changed.
    const CLocationRecord* Find(int iService, const std::wstring& strLang,
                                const std::wstring& strLat, const std::wstring& strLon) const;
    void Remember(int iService, const std::wstring& strLang, const std::wstring& strLat,
                  const std::wstring& strLon, const CLocationRecord& record);
    // Forgets every answer: the settings that shape a request may have changed.
    void Clear() { m_answers.clear(); }

  private:
    static std::wstring Key(int iService, const std::wstring& strLang, const std::wstring& strLat,
                            const std::wstring& strLon);

    std::unordered_map<std::wstring, CLocationRecord> m_answers;
};
