#include "core/answer_memo.h"

std::wstring CAnswerMemo::Key(int iService, const std::wstring& strLang, const std::wstring& strLat,
                              const std::wstring& strLon) {
    // A NUL cannot come from a setting or a position text's conversion, so the parts of a key
    // never run into each other.
    std::wstring strKey = std::to_wstring(iService);
    for (const std::wstring* pPart : {&strLang, &strLat, &strLon}) {
        strKey += L'\0';
        strKey += *pPart;
    }
    return strKey;
}

const CLocationRecord* CAnswerMemo::Find(int iService, const std::wstring& strLang,
                                         const std::wstring& strLat,
                                         const std::wstring& strLon) const {
    auto it = m_answers.find(Key(iService, strLang, strLat, strLon));
    return it == m_answers.end() ? nullptr : &it->second;
}

void CAnswerMemo::Remember(int iService, const std::wstring& strLang, const std::wstring& strLat,
                           const std::wstring& strLon, const CLocationRecord& record) {
    if (m_answers.size() >= kMaxAnswerMemoEntries) m_answers.clear();
    m_answers[Key(iService, strLang, strLat, strLon)] = record;
}
