#include "host/setting_check.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "core/settings.h"
#include "host/host_settings.h"
#include "services/service_catalogue.h"

namespace {

enum class ERule { kSwitch, kService, kLanguage, kCountryList, kAnyText };

struct SRule {
    const char* pszKey;
    ERule eRule;
};

// Integer keys not listed here are switches; text keys not listed take any text.
constexpr SRule kRules[] = {
    {"iProv", ERule::kService},
    {"Lang", ERule::kLanguage},
    {"GeoCC1", ERule::kCountryList},
    {"GeoCC2", ERule::kCountryList},
};

const SSettingKey* FindTableKey(const std::string& strKey) {
    for (const SSettingKey& key : SettingKeys())
        if (WideToUtf8(key.pszKey) == strKey) return &key;
    return nullptr;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

size_t CountLetters(const std::string& strText, size_t nStart) {
    size_t n = 0;
    while (nStart + n < strText.size() && IsAsciiLetter(strText[nStart + n])) ++n;
    return n;
}

// "de", "deu", "pt-BR", "zh_TW", "es-419": 2-3 letters, then optionally - or _ and a region of
// 2 letters or 3 digits.
bool IsLanguageCode(const std::string& strText) {
    const size_t nLanguage = CountLetters(strText, 0);
    if (nLanguage < 2 || nLanguage > 3) return false;
    if (nLanguage == strText.size()) return true;
    if (strText[nLanguage] != '-' && strText[nLanguage] != '_') return false;
    const std::string strRegion = strText.substr(nLanguage + 1);
    if (strRegion.size() == 2) return CountLetters(strRegion, 0) == 2;
    return strRegion.size() == 3 && std::all_of(strRegion.begin(), strRegion.end(),
                                                [](char c) { return c >= '0' && c <= '9'; });
}

// "DE, AT,ch": two-letter codes separated by commas, blanks allowed around them.
bool IsCountryList(const std::string& strText) {
    size_t nStart = 0;
    for (;;) {
        size_t nComma = strText.find(',', nStart);
        std::string strCode = strText.substr(nStart, nComma - nStart);
        strCode.erase(0, strCode.find_first_not_of(' '));
        strCode.erase(strCode.find_last_not_of(' ') + 1);
        if (strCode.size() != 2 || CountLetters(strCode, 0) != 2) return false;
        if (nComma == std::string::npos) return true;
        nStart = nComma + 1;
    }
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t nDiagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t nAbove = row[j];
            const bool bSame = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                               std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, nDiagonal + (bSame ? 0 : 1)});
            nDiagonal = nAbove;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> KnownSettingKeys() {
    std::vector<std::string> keys;
    for (const SSettingKey& key : SettingKeys()) keys.push_back(WideToUtf8(key.pszKey));
    // Only the services that take a key have a key setting.
    for (const SServiceFacts& facts : kServiceFacts)
        if (*facts.pszKeyParam)
            keys.push_back(WideToUtf8(kApiKeyPrefix) + WideToUtf8(facts.pszName));
    return keys;
}

std::string ClosestSettingKey(const std::string& strKey) {
    std::string strBest;
    size_t nBest = SIZE_MAX;
    for (const std::string& strKnown : KnownSettingKeys()) {
        const size_t nDistance = EditDistance(strKey, strKnown);
        if (nDistance < nBest) {
            nBest = nDistance;
            strBest = strKnown;
        }
    }
    // Within a third of the key's length (at least 2 edits): beyond that a hint misleads.
    return nBest <= std::max<size_t>(2, strBest.size() / 3) ? strBest : std::string();
}

bool CheckSettingValue(const std::string& strKey, const std::string& strValue, bool& bInteger,
                       std::string& strError) {
    const SSettingKey* pKey = FindTableKey(strKey);
    bInteger = pKey && pKey->eKind == ESettingKind::kInt;
    ERule eRule = bInteger ? ERule::kSwitch : ERule::kAnyText;
    for (const SRule& rule : kRules)
        if (strKey == rule.pszKey) eRule = rule.eRule;
    int32_t nValue = 0;
    switch (eRule) {
        case ERule::kSwitch:
            if (ParseInt32(strValue, nValue) && (nValue == 0 || nValue == 1)) return true;
            strError = "setting \"" + strKey + "\" is a switch: 1 for on, 0 for off, not \"" +
                       strValue + "\"";
            return false;
        case ERule::kService:
            if (ParseInt32(strValue, nValue) && nValue >= 0 && nValue < kServiceCount) return true;
            strError =
                "setting \"" + strKey + "\" takes a service number, not \"" + strValue + "\":";
            for (int i = 0; i < kServiceCount; ++i)
                strError += std::string(i ? "," : "") + " " + std::to_string(i) + " " +
                            WideToUtf8(kServiceFacts[i].pszName);
            return false;
        case ERule::kLanguage:
            if (strValue.empty() || IsLanguageCode(strValue)) return true;
            strError = "setting \"" + strKey +
                       "\" takes a language code of 2 or 3 letters with an optional region "
                       "(de, fr, pt-BR), or \"\" for the service's own choice; not \"" +
                       strValue + "\"";
            return false;
        case ERule::kCountryList:
            if (strValue.empty() || IsCountryList(strValue)) return true;
            strError = "setting \"" + strKey +
                       "\" takes two-letter country codes separated by commas (DE,AT,CH), not "
                       "\"" +
                       strValue + "\"";
            return false;
        case ERule::kAnyText:
            return true;
    }
    return true;
}

bool SettingShapesCaption(const std::string& strKey) {
    const SSettingKey* pKey = FindTableKey(strKey);
    return pKey && pKey->bShapesCaption;
}
