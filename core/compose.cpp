#include "core/compose.h"

#include <string_view>

namespace {

// The length of at most nMax characters of text that does not end inside a UTF-16 surrogate
// pair (wchar_t is UTF-16 on Windows).
size_t CutLength(std::wstring_view text, size_t nMax) {
    if (text.size() <= nMax) return text.size();
    size_t n = nMax;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    return n;
}

void AppendCapped(std::wstring& out, std::wstring_view part) {
    const size_t nRoom = kMaxComposedChars - out.size();
    out.append(part.substr(0, CutLength(part, nRoom)));
}

// One pass, left to right: every non-overlapping occurrence is replaced, inserted text is not
// read again by this step (later steps do read it). The result is cut at kMaxComposedChars,
// and the pass stops there, so a step costs at most the input plus that bound.
std::wstring ReplaceAll(std::wstring_view text, std::wstring_view placeholder,
                        std::wstring_view value) {
    std::wstring out;
    out.reserve(CutLength(text, kMaxComposedChars));
    size_t pos = 0;
    while (out.size() < kMaxComposedChars) {
        const size_t found = text.find(placeholder, pos);
        if (found == std::wstring_view::npos) {
            AppendCapped(out, text.substr(pos));
            break;
        }
        AppendCapped(out, text.substr(pos, found - pos));
        AppendCapped(out, value);
        pos = found + placeholder.size();
    }
    return out;
}

void AppendPart(std::wstring& text, const std::wstring& part, const std::wstring& sep) {
    if (part.empty()) return;
    if (!text.empty()) AppendCapped(text, sep);
    AppendCapped(text, part);
}

std::wstring ComposeSteps(const std::wstring& strTemplate, const CLocationRecord& record,
                          const std::wstring& strFullAddress, const std::wstring& strAutoText) {
    const struct {
        const wchar_t* pszPlaceholder;
        const std::wstring& strValue;
    } steps[] = {
        {L"%L", record.m_strLocation}, {L"%C", record.m_strCity},        {L"%S", record.m_strState},
        {L"%Y", record.m_strCountry},  {L"%D", record.m_strCountryCode}, {L"%F", strFullAddress},
        {L"%A", strAutoText},
    };
    std::wstring text(strTemplate, 0, CutLength(strTemplate, kMaxComposedChars));
    for (const auto& step : steps) text = ReplaceAll(text, step.pszPlaceholder, step.strValue);
    return text;
}

}  // namespace

std::wstring ComposeAutoText(const CLocationRecord& record, const CPlugInSettings& settings) {
    std::wstring text;
    AppendCapped(text, record.m_strLocation);
    if (record.m_strCity != record.m_strLocation)
        AppendPart(text, record.m_strCity, settings.m_strSep);
    if (settings.m_bAState) AppendPart(text, record.m_strState, settings.m_strSep);
    if (settings.m_bACountry) AppendPart(text, record.m_strCountry, settings.m_strSep);
    return text;
}

std::wstring ComposeCaption(const std::wstring& strTemplate, const CLocationRecord& record,
                            const std::wstring& strAutoText) {
    return ComposeSteps(strTemplate, record, record.m_strFullAddress, strAutoText);
}

std::wstring ComposeCaption(const CLocationRecord& record, const CPlugInSettings& settings) {
    const std::wstring strAuto = ComposeAutoText(record, settings);
    // Without an address from the service, %F is the automatic text.
    const std::wstring& strFull =
        record.m_strFullAddress.empty() ? strAuto : record.m_strFullAddress;
    return ComposeSteps(settings.m_strFormat, record, strFull, strAuto);
}
