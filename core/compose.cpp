#include "core/compose.h"

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

std::wstring ComposeAutoText(const CLocationRecord& record, const CPlugInSettings& settings) {
    std::wstring text = record.m_strLocation;
    if (record.m_strCity != record.m_strLocation)
        AppendPart(text, record.m_strCity, settings.m_strSep);
    if (settings.m_bAState) AppendPart(text, record.m_strState, settings.m_strSep);
    if (settings.m_bACountry) AppendPart(text, record.m_strCountry, settings.m_strSep);
    return text;
}

std::wstring ComposeCaption(const std::wstring& strTemplate, const CLocationRecord& record,
                            const std::wstring& strAutoText) {
    std::wstring text = strTemplate;
    ReplaceAll(text, L"%L", record.m_strLocation);
    ReplaceAll(text, L"%C", record.m_strCity);
    ReplaceAll(text, L"%S", record.m_strState);
    ReplaceAll(text, L"%Y", record.m_strCountry);
    ReplaceAll(text, L"%D", record.m_strCountryCode);
    ReplaceAll(text, L"%F", record.m_strFullAddress);
    ReplaceAll(text, L"%A", strAutoText);
    return text;
}

std::wstring ComposeCaption(const CLocationRecord& record, const CPlugInSettings& settings) {
    const std::wstring strAuto = ComposeAutoText(record, settings);
    if (record.m_strFullAddress.empty()) {
        CLocationRecord withAddress = record;
        withAddress.m_strFullAddress = strAuto;
        return ComposeCaption(settings.m_strFormat, withAddress, strAuto);
    }
    return ComposeCaption(settings.m_strFormat, record, strAuto);
}
