#include "core/app.h"

namespace {

// Replaces every non-overlapping occurrence, left to right; inserted text is not read again
// by this step (later steps do read it).
void ReplaceAll(std::wstring& text, std::wstring_view placeholder, const std::wstring& value) {
    size_t pos = 0;
    while ((pos = text.find(placeholder, pos)) != std::wstring::npos) {
        text.replace(pos, placeholder.size(), value);
        pos += value.size();
    }
}

void AppendPart(std::wstring& text, const std::wstring& part, const std::wstring& sep) {
    if (!text.empty() && !part.empty()) text += sep;
    text += part;
}

}  // namespace

std::wstring CLocanymApp::ComposeAutoText(const std::wstring& strLocation,
                                          const std::wstring& strCity, const std::wstring& strState,
                                          const std::wstring& strCountry) const {
    std::wstring text = strLocation;
    if (strCity != strLocation) AppendPart(text, strCity, m_strSep);
    if (m_bAState) AppendPart(text, strState, m_strSep);
    if (m_bACountry) AppendPart(text, strCountry, m_strSep);
    return text;
}

std::wstring CLocanymApp::ComposeCaption(const std::wstring& strTemplate,
                                         const std::wstring& strLocation,
                                         const std::wstring& strCity, const std::wstring& strState,
                                         const std::wstring& strCountry,
                                         const std::wstring& strCountryCode,
                                         const std::wstring& strFullAddress,
                                         const std::wstring& strAutoText) {
    std::wstring text = strTemplate;
    ReplaceAll(text, L"%L", strLocation);
    ReplaceAll(text, L"%C", strCity);
    ReplaceAll(text, L"%S", strState);
    ReplaceAll(text, L"%Y", strCountry);
    ReplaceAll(text, L"%D", strCountryCode);
    ReplaceAll(text, L"%F", strFullAddress);
    ReplaceAll(text, L"%A", strAutoText);
    return text;
}
