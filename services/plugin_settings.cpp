#include "services/plugin_settings.h"

#include "base/text.h"

bool CPlugInSettings::IsCountryInList(std::wstring_view strCountryCode, int nSelector) const {
    if (strCountryCode.empty()) return true;
    std::wstring_view rest = nSelector == 0 ? m_strGeoCC1 : m_strGeoCC2;
    while (!rest.empty()) {
        std::wstring_view entry;
        size_t comma = rest.find(L',');
        if (comma != std::wstring_view::npos) {
            entry = rest.substr(0, comma);
            rest = rest.substr(comma + 1);
        } else {
            entry = rest;
            rest = {};
        }
        if (EqualsNoCaseAscii(TrimWhiteSpace(entry), strCountryCode)) return true;
    }
    return false;
}
