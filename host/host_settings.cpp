#include "host/host_settings.h"

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <memory>

#include "base/text.h"
#include "host/host_platform.h"

namespace fs = std::filesystem;

namespace {

bool IsScalarValue(wchar_t c) {
    const auto cp = static_cast<uint32_t>(c);
    if constexpr (sizeof(wchar_t) == 2) return true;  // surrogate pairs are UTF-16's own
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

std::string Describe(const std::string& strSection, const std::string& strKey) {
    return "setting \"" + strKey + "\" in section \"" + strSection + "\"";
}

bool RecordNames(const SLD_PROFILE_RECORD& record, std::string& strSection, std::string& strKey,
                 std::string& strNote) {
    if (!record.section || !record.key) {
        strNote = "the plug-in passed a setting without naming its section and key";
        return false;
    }
    strSection = WideToUtf8(WideTextAt(record.section));
    strKey = WideToUtf8(WideTextAt(record.key));
    return true;
}

}  // namespace

bool ParseInt32(std::string_view strText, int32_t& nValue) {
    const char* pBegin = strText.data();
    const char* pEnd = pBegin + strText.size();
    if (pBegin != pEnd && *pBegin == '+') ++pBegin;
    auto [p, ec] = std::from_chars(pBegin, pEnd, nValue);
    return ec == std::errc() && p == pEnd && pBegin != pEnd;
}

std::wstring WideTextAt(uint64_t address) {
    const auto* psz = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(address));
    return psz ? std::wstring(psz) : std::wstring();
}

bool CHostSettings::Load(std::string& strError) {
    m_bLoaded = false;
    m_bDirty = false;
    m_root = Json::Value(Json::objectValue);
    std::string strContent;
    bool bMissing = false;
    std::string strReadError;
    if (!ReadRegularFile(m_file, strContent, bMissing, strReadError)) {
        strError = "settings file: " + strReadError;
        return false;
    }
    if (bMissing) {
        m_bLoaded = true;
        return true;
    }
    if (strContent.find_first_not_of(" \t\r\n") == std::string::npos) {
        m_bLoaded = true;
        return true;
    }
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string strParseError;
    bool bParsed = false;
    try {
        bParsed = reader->parse(strContent.data(), strContent.data() + strContent.size(), &root,
                                &strParseError);
    } catch (const std::exception& e) {
        strParseError = e.what();
    }
    const std::string strLeave = " (fix or remove the file; it was left as it is)";
    if (!bParsed) {
        while (!strParseError.empty() && strParseError.back() == '\n') strParseError.pop_back();
        strError = "settings file " + m_file.string() + " is damaged: " + strParseError + strLeave;
        return false;
    }
    if (!root.isObject()) {
        strError =
            "settings file " + m_file.string() + " does not hold an object of sections" + strLeave;
        return false;
    }
    for (const std::string& strSection : root.getMemberNames()) {
        if (!root[strSection].isObject()) {
            strError = "settings file " + m_file.string() + ": section \"" + strSection +
                       "\" is not an object of keys" + strLeave;
            return false;
        }
    }
    m_root = std::move(root);
    m_bLoaded = true;
    return true;
}

bool CHostSettings::Save(std::string& strError) {
    if (!m_bLoaded) {
        strError = "settings were not saved: the settings file " + m_file.string() +
                   " could not be loaded";
        return false;
    }
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    std::string strContent = Json::writeString(builder, m_root) + "\n";
    if (!WriteFileAtomically(m_file, strContent, strError)) return false;
    m_bDirty = false;
    return true;
}

const Json::Value* CHostSettings::Find(const std::string& strSection,
                                       const std::string& strKey) const {
    const Json::Value* pSection =
        m_root.find(strSection.data(), strSection.data() + strSection.size());
    if (!pSection || !pSection->isObject()) return nullptr;
    return pSection->find(strKey.data(), strKey.data() + strKey.size());
}

bool CHostSettings::Has(const std::string& strSection, const std::string& strKey) const {
    return Find(strSection, strKey) != nullptr;
}

bool CHostSettings::GetInt(const std::string& strSection, const std::string& strKey,
                           int32_t& nValue, std::string& strNote) const {
    const Json::Value* pValue = Find(strSection, strKey);
    if (!pValue) return false;
    if (pValue->isInt()) {
        nValue = pValue->asInt();
        return true;
    }
    if (pValue->isBool()) {
        nValue = pValue->asBool() ? 1 : 0;
        return true;
    }
    if (pValue->isString() && ParseInt32(pValue->asString(), nValue)) return true;
    strNote = Describe(strSection, strKey) + " is not a 32-bit integer; the default was used";
    return false;
}

bool CHostSettings::GetText(const std::string& strSection, const std::string& strKey,
                            std::wstring& strValue, std::string& strNote) const {
    const Json::Value* pValue = Find(strSection, strKey);
    if (!pValue) return false;
    if (pValue->isString()) {
        strValue = Utf8ToWide(pValue->asString());
        return true;
    }
    if (pValue->isInt64() || pValue->isUInt64()) {
        strValue = Utf8ToWide(pValue->asString());
        return true;
    }
    if (pValue->isArray()) {
        std::wstring strCodes;
        for (const Json::Value& code : *pValue) {
            if (!code.isUInt() || code.asUInt() == 0) {
                strNote = Describe(strSection, strKey) +
                          " holds an array that is not a list of character codes; the default "
                          "was used";
                return false;
            }
            strCodes += static_cast<wchar_t>(code.asUInt());
        }
        strValue = std::move(strCodes);
        return true;
    }
    strNote = Describe(strSection, strKey) + " is not a text; the default was used";
    return false;
}

void CHostSettings::SetInt(const std::string& strSection, const std::string& strKey,
                           int32_t nValue) {
    m_root[strSection][strKey] = nValue;
    m_bDirty = true;
}

bool CHostSettings::Remove(const std::string& strSection, const std::string& strKey) {
    if (!Find(strSection, strKey)) return false;
    Json::Value& section = m_root[strSection];
    section.removeMember(strKey);
    if (section.empty()) m_root.removeMember(strSection);
    m_bDirty = true;
    return true;
}

void CHostSettings::SetText(const std::string& strSection, const std::string& strKey,
                            const std::wstring& strValue) {
    Json::Value value;
    if (std::all_of(strValue.begin(), strValue.end(), IsScalarValue)) {
        value = WideToUtf8(strValue);
    } else {
        value = Json::Value(Json::arrayValue);
        for (wchar_t c : strValue) value.append(static_cast<Json::UInt>(c));
    }
    m_root[strSection][strKey] = std::move(value);
    m_bDirty = true;
}

void CHostSettings::AnswerRead(SLD_PROFILE_RECORD& record, bool& bStored,
                               std::string& strNote) const {
    bStored = false;
    std::string strSection, strKey;
    if (!RecordNames(record, strSection, strKey, strNote)) return;
    if (record.type == kProfileInt) {
        int32_t nValue = static_cast<int32_t>(static_cast<uint32_t>(record.def));
        bStored = GetInt(strSection, strKey, nValue, strNote);
        record.value = static_cast<uint32_t>(nValue);
        return;
    }
    if (record.type != kProfileText) {
        strNote = "the plug-in asked for " + Describe(strSection, strKey) + " of unknown type " +
                  std::to_string(record.type);
        return;
    }
    auto* pBuffer = reinterpret_cast<wchar_t*>(static_cast<uintptr_t>(record.value));
    if (!pBuffer || record.capacity < 0) {
        strNote =
            "the plug-in asked for " + Describe(strSection, strKey) + " without a usable buffer";
        return;
    }
    std::wstring strValue;
    bStored = GetText(strSection, strKey, strValue, strNote);
    if (!bStored) strValue = WideTextAt(record.def);
    const size_t nCapacity = static_cast<size_t>(record.capacity);
    if (strValue.size() > nCapacity) {
        strNote = Describe(strSection, strKey) + " is " + std::to_string(strValue.size()) +
                  " characters long; the plug-in reads only the first " + std::to_string(nCapacity);
    }
    const size_t n = std::min(strValue.size(), nCapacity);
    std::wmemcpy(pBuffer, strValue.data(), n);
    pBuffer[n] = L'\0';
}

void CHostSettings::TakeWrite(const SLD_PROFILE_RECORD& record, std::string& strNote) {
    std::string strSection, strKey;
    if (!RecordNames(record, strSection, strKey, strNote)) return;
    if (record.type == kProfileInt) {
        SetInt(strSection, strKey, static_cast<int32_t>(static_cast<uint32_t>(record.value)));
    } else if (record.type == kProfileText) {
        SetText(strSection, strKey, WideTextAt(record.value));
    } else {
        strNote = "the plug-in wrote " + Describe(strSection, strKey) + " of unknown type " +
                  std::to_string(record.type) + "; it was not stored";
    }
}
