// Query parameters of a service request, kept in the order in which they were added.
#pragma once

#include <string>
#include <vector>

class CParam {
public:
    CParam() = default;
    // A null text gives an empty one.
    CParam(const wchar_t* pszName, const wchar_t* pszValue)
        : m_strName(pszName ? pszName : L""), m_strValue(pszValue ? pszValue : L"") {}
    CParam(std::wstring strName, std::wstring strValue)
        : m_strName(std::move(strName)), m_strValue(std::move(strValue)) {}

    std::wstring m_strName;
    std::wstring m_strValue;
};

// Appended at the end only, never sorted; names are not checked for duplicates.
using CParamList = std::vector<CParam>;
