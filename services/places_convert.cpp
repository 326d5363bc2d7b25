#include "services/places_convert.h"

#include <json/json.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <unordered_map>

#include "services/places_data.h"

namespace {

constexpr size_t kMaxStringsSize = 0xFFFFFFFFu;
constexpr uint32_t kMoMagic = 0x950412de;
constexpr uint32_t kMoMagicSwapped = 0xde120495;

// A bounded reader of protobuf wire data.
class CPbfCursor {
  public:
    CPbfCursor(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}
    size_t GetPos() const { return m_nPos; }
    bool AtEnd() const { return m_nPos >= m_nSize; }
    bool ReadVarint(uint64_t& nValue) {
        nValue = 0;
        for (int nShift = 0; nShift < 64; nShift += 7) {
            if (m_nPos >= m_nSize) return false;
            uint8_t b = m_pData[m_nPos++];
            nValue |= static_cast<uint64_t>(b & 0x7F) << nShift;
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool ReadBytes(size_t nLength, std::string_view& bytes) {
        if (nLength > m_nSize - m_nPos) return false;
        bytes = std::string_view(reinterpret_cast<const char*>(m_pData + m_nPos), nLength);
        m_nPos += nLength;
        return true;
    }
    bool Skip(size_t nLength) {
        if (nLength > m_nSize - m_nPos) return false;
        m_nPos += nLength;
        return true;
    }

  private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

int64_t ZigZag(uint64_t n) {
    return static_cast<int64_t>(n >> 1) ^ -static_cast<int64_t>(n & 1);
}

bool ParseJson(std::string_view text, Json::Value& root, std::string& strError) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string strErrors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &strErrors)) {
        strError = "JSON: " + strErrors;
        return false;
    }
    return true;
}

std::string MemberText(const Json::Value& obj, const char* pszName) {
    const Json::Value& value = obj[pszName];
    return value.isString() ? value.asString() : std::string();
}

bool ReadWholeFile(const std::string& strPath, std::string& data, std::string& strError) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) {
        strError = strPath + ": cannot open";
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        strError = strPath + ": read error";
        return false;
    }
    return true;
}

EPlaceKind KindOf(std::string_view feature, bool& bKeep) {
    bKeep = !(feature == "PPLQ" || feature == "PPLH" || feature == "PPLW");
    if (feature == "PPLX") return kPlaceSection;
    if (feature == "PPLC" || feature == "PPLG") return kPlaceCapital;
    if (feature.substr(0, 4) == "PPLA") return kPlaceAdminSeat;
    return kPlaceOrdinary;
}

void PutU32(std::vector<uint8_t>& out, size_t nAt, uint32_t nValue) {
    out[nAt] = static_cast<uint8_t>(nValue);
    out[nAt + 1] = static_cast<uint8_t>(nValue >> 8);
    out[nAt + 2] = static_cast<uint8_t>(nValue >> 16);
    out[nAt + 3] = static_cast<uint8_t>(nValue >> 24);
}

void AppendU32(std::vector<uint8_t>& out, uint32_t nValue) {
    out.resize(out.size() + 4);
    PutU32(out, out.size() - 4, nValue);
}

class CStringPool {
  public:
    CStringPool() { m_bytes.push_back(0); }
    uint32_t Add(const std::string& strText) {
        if (strText.empty()) return 0;
        auto it = m_offsets.find(strText);
        if (it != m_offsets.end()) return it->second;
        uint32_t nOffset = static_cast<uint32_t>(m_bytes.size());
        // A zero byte inside a name would cut it short; the sources have none.
        m_bytes.insert(m_bytes.end(), strText.begin(), strText.end());
        m_bytes.push_back(0);
        m_offsets.emplace(strText, nOffset);
        return nOffset;
    }
    const std::vector<uint8_t>& GetBytes() const { return m_bytes; }

  private:
    std::vector<uint8_t> m_bytes;
    std::unordered_map<std::string, uint32_t> m_offsets;
};

}  // namespace

bool ReadCitiesPbf(const uint8_t* pData, size_t nSize, std::vector<SPlaceSource>& places,
                   std::string& strError) {
    CPbfCursor cursor(pData, nSize);
    int64_t nLat = 0, nLon = 0;
    while (!cursor.AtEnd()) {
        size_t nStart = cursor.GetPos();
        uint64_t nLength = 0;
        std::string_view message;
        if (!cursor.ReadVarint(nLength) || !cursor.ReadBytes(nLength, message)) {
            strError = "places: message at byte " + std::to_string(nStart) + " is cut short";
            return false;
        }
        CPbfCursor fields(reinterpret_cast<const uint8_t*>(message.data()), message.size());
        SPlaceSource place;
        while (!fields.AtEnd()) {
            uint64_t nKey = 0, nValue = 0;
            std::string_view bytes;
            bool bOk = fields.ReadVarint(nKey);
            uint32_t nTag = static_cast<uint32_t>(nKey >> 3);
            switch (nKey & 7) {
                case 0:
                    bOk = bOk && fields.ReadVarint(nValue);
                    if (nTag == 9)
                        place.nPopulation =
                            static_cast<uint32_t>(std::min<uint64_t>(nValue, 0xFFFFFFFFu));
                    if (nTag == 10) nLon += ZigZag(nValue);
                    if (nTag == 11) nLat += ZigZag(nValue);
                    break;
                case 1:
                    bOk = bOk && fields.Skip(8);
                    break;
                case 2:
                    bOk = bOk && fields.ReadVarint(nValue) && fields.ReadBytes(nValue, bytes);
                    if (nTag == 2) place.strName = bytes;
                    if (nTag == 3) place.strCountry = bytes;
                    if (nTag == 7) place.strFeature = bytes;
                    if (nTag == 8) place.strAdmin1 = bytes;
                    break;
                case 5:
                    bOk = bOk && fields.Skip(4);
                    break;
                default:
                    bOk = false;
            }
            if (!bOk) {
                strError = "places: damaged field in the message at byte " + std::to_string(nStart);
                return false;
            }
        }
        if (nLat < -90 * kCoordinateScale || nLat > 90 * kCoordinateScale ||
            nLon < -180 * kCoordinateScale || nLon > 180 * kCoordinateScale) {
            strError =
                "places: position out of range in the message at byte " + std::to_string(nStart);
            return false;
        }
        place.nLat = static_cast<int32_t>(nLat);
        place.nLon = static_cast<int32_t>(nLon);
        places.push_back(std::move(place));
    }
    return true;
}

bool ReadAdminNames(std::string_view json, std::map<std::string, std::string>& names,
                    std::string& strError) {
    Json::Value root;
    if (!ParseJson(json, root, strError)) return false;
    if (!root.isArray()) {
        strError = "division names: not a JSON array";
        return false;
    }
    for (const Json::Value& item : root) {
        if (!item.isObject()) continue;
        std::string strCode = MemberText(item, "code");
        if (!strCode.empty()) names[strCode] = MemberText(item, "name");
    }
    return true;
}

bool ReadIsoCountries(std::string_view json, std::vector<SCountrySource>& countries,
                      std::string& strError) {
    Json::Value root;
    if (!ParseJson(json, root, strError)) return false;
    const Json::Value& list = root.isObject() ? root["3166-1"] : Json::Value::nullSingleton();
    if (!list.isArray()) {
        strError = "countries: no \"3166-1\" list";
        return false;
    }
    for (const Json::Value& item : list) {
        if (!item.isObject()) continue;
        SCountrySource country;
        country.strCode = MemberText(item, "alpha_2");
        std::string strCommon = MemberText(item, "common_name");
        country.strMsgId = strCommon.empty() ? MemberText(item, "name") : strCommon;
        country.strName = country.strMsgId;
        if (country.strCode.size() == 2 && !country.strName.empty()) countries.push_back(country);
    }
    return true;
}

bool ReadMoCatalogue(const uint8_t* pData, size_t nSize,
                     std::map<std::string, std::string>& messages, std::string& strError) {
    if (nSize < 20) {
        strError = "catalogue too short";
        return false;
    }
    uint32_t nMagic = ReadU32Le(pData);
    bool bSwapped = nMagic == kMoMagicSwapped;
    if (nMagic != kMoMagic && !bSwapped) {
        strError = "not a message catalogue";
        return false;
    }
    auto u32 = [pData, bSwapped](size_t nAt) {
        uint32_t n = ReadU32Le(pData + nAt);
        return bSwapped ? __builtin_bswap32(n) : n;
    };
    uint32_t nCount = u32(8), nOriginals = u32(12), nTranslations = u32(16);
    if (nOriginals > nSize || nTranslations > nSize || nCount > (nSize - nOriginals) / 8 ||
        nCount > (nSize - nTranslations) / 8) {
        strError = "catalogue tables lie outside the file";
        return false;
    }
    auto text = [&](uint32_t nTable, uint32_t i, std::string_view& out) {
        uint32_t nLength = u32(nTable + 8 * i), nOffset = u32(nTable + 8 * i + 4);
        if (nOffset > nSize || nLength > nSize - nOffset) return false;
        out = std::string_view(reinterpret_cast<const char*>(pData + nOffset), nLength);
        return true;
    };
    for (uint32_t i = 0; i < nCount; ++i) {
        std::string_view original, translation;
        if (!text(nOriginals, i, original) || !text(nTranslations, i, translation)) {
            strError = "catalogue entry " + std::to_string(i) + " lies outside the file";
            return false;
        }
        // The header entry has an empty msgid; "\4" separates a context; "\0" a plural form.
        if (original.empty() || original.find('\4') != std::string_view::npos) continue;
        original = original.substr(0, original.find('\0'));
        translation = translation.substr(0, translation.find('\0'));
        if (!translation.empty()) messages[std::string(original)] = std::string(translation);
    }
    return true;
}

std::string CountryNameForCaption(std::string_view strEnglish, std::string_view strTranslation,
                                  std::string_view strLanguage) {
    std::string strName(strTranslation);
    // The Tatar catalogues list two spellings of one name around a comma.
    if (strLanguage.substr(0, strLanguage.find('@')) == "tt") return strName;
    const size_t nComma = strTranslation.find(", ");
    if (strEnglish.find(',') != std::string_view::npos || nComma == std::string_view::npos ||
        strTranslation.find(',', nComma + 1) != std::string_view::npos ||
        strTranslation.find('(') != std::string_view::npos || nComma == 0) {
        return strName;
    }
    std::string_view before = strTranslation.substr(0, nComma);
    std::string_view after = strTranslation.substr(nComma + 2);
    const size_t nLastSpace = after.rfind(' ');
    std::string_view last =
        nLastSpace == std::string_view::npos ? std::string_view() : after.substr(nLastSpace + 1);
    const bool bShortLowerWord =
        !last.empty() && last.size() <= 3 &&
        std::all_of(last.begin(), last.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    if (after.empty() || (nLastSpace != std::string_view::npos && !bShortLowerWord)) return strName;
    strName.assign(after);
    strName += ' ';
    strName += before;
    return strName;
}

bool BuildPlacesFile(const CPlacesSources& sources, std::vector<uint8_t>& file,
                     std::string& strError) {
    CStringPool pool;
    uint32_t nSources = pool.Add(sources.m_strSources);

    // Countries: those of the list, then any code the places use that the list lacks.
    std::vector<SCountrySource> countries;
    std::map<std::string, uint32_t> countryIndex;
    for (const SCountrySource& country : sources.m_countries) {
        if (countryIndex.emplace(country.strCode, static_cast<uint32_t>(countries.size())).second) {
            countries.push_back(country);
        }
    }
    for (const SPlaceSource& place : sources.m_places) {
        if (place.strCountry.size() != 2 || countryIndex.count(place.strCountry)) continue;
        countryIndex.emplace(place.strCountry, static_cast<uint32_t>(countries.size()));
        countries.push_back({place.strCountry, place.strCountry, place.strCountry});
    }
    if (countries.size() > kMaxCountries) {
        strError = "too many countries: " + std::to_string(countries.size());
        return false;
    }

    struct SRecord {
        uint32_t nCell;
        uint32_t nOrder;
        int32_t nLat, nLon;
        uint32_t nName, nPopulation;
        uint16_t nAdmin1;
        uint8_t nCountry, nKind;
    };
    std::vector<SRecord> records;
    std::map<std::string, uint16_t> admin1Index;
    std::vector<uint32_t> admin1Names;
    for (const SPlaceSource& place : sources.m_places) {
        bool bKeep = true;
        EPlaceKind eKind = KindOf(place.strFeature, bKeep);
        auto itCountry = countryIndex.find(place.strCountry);
        if (!bKeep || place.strName.empty() || itCountry == countryIndex.end()) continue;
        SRecord record;
        record.nOrder = static_cast<uint32_t>(records.size());
        record.nLat = place.nLat;
        record.nLon = place.nLon;
        record.nCell = PlaceCellOf(place.nLat, place.nLon);
        record.nName = pool.Add(place.strName);
        record.nPopulation = place.nPopulation;
        record.nCountry = static_cast<uint8_t>(itCountry->second);
        record.nKind = eKind;
        record.nAdmin1 = kNoAdmin1;
        if (!place.strAdmin1.empty()) {
            std::string strKey = place.strCountry + "." + place.strAdmin1;
            auto it = admin1Index.find(strKey);
            if (it == admin1Index.end()) {
                if (admin1Names.size() >= kMaxAdmin1) {
                    strError = "too many divisions";
                    return false;
                }
                auto itName = sources.m_admin1.find(strKey);
                admin1Names.push_back(
                    pool.Add(itName == sources.m_admin1.end() ? std::string() : itName->second));
                it = admin1Index.emplace(strKey, static_cast<uint16_t>(admin1Names.size() - 1))
                         .first;
            }
            record.nAdmin1 = it->second;
        }
        records.push_back(record);
    }
    std::sort(records.begin(), records.end(), [](const SRecord& a, const SRecord& b) {
        return a.nCell != b.nCell ? a.nCell < b.nCell : a.nOrder < b.nOrder;
    });

    std::vector<uint32_t> countryNames, translations;
    for (const SCountrySource& country : countries)
        countryNames.push_back(pool.Add(country.strName));
    std::vector<uint32_t> languageTags;
    for (const auto& [strTag, messages] : sources.m_catalogues) {
        languageTags.push_back(pool.Add(strTag));
        for (const SCountrySource& country : countries) {
            auto it = messages.find(country.strMsgId);
            // The English name serves where a language has none or the same.
            bool bOwn = it != messages.end() && it->second != country.strName;
            translations.push_back(
                bOwn ? pool.Add(CountryNameForCaption(country.strName, it->second, strTag)) : 0);
        }
    }
    if (pool.GetBytes().size() > kMaxStringsSize) {
        strError = "string pool too large";
        return false;
    }

    file.assign(kHeaderSize, 0);
    std::memcpy(file.data(), kPlacesMagic, sizeof kPlacesMagic);
    PutU32(file, kHdrVersion, kPlacesFormatVersion);
    PutU32(file, kHdrHeaderSize, kHeaderSize);
    PutU32(file, kHdrSources, nSources);
    PutU32(file, kHdrGridRows, kGridRows);
    PutU32(file, kHdrGridCols, kGridCols);

    PutU32(file, kHdrPlaceCount, static_cast<uint32_t>(records.size()));
    PutU32(file, kHdrPlaces, static_cast<uint32_t>(file.size()));
    for (const SRecord& record : records) {
        AppendU32(file, static_cast<uint32_t>(record.nLat));
        AppendU32(file, static_cast<uint32_t>(record.nLon));
        AppendU32(file, record.nName);
        AppendU32(file, record.nPopulation);
        file.push_back(static_cast<uint8_t>(record.nAdmin1));
        file.push_back(static_cast<uint8_t>(record.nAdmin1 >> 8));
        file.push_back(record.nCountry);
        file.push_back(record.nKind);
    }
    PutU32(file, kHdrCells, static_cast<uint32_t>(file.size()));
    size_t nRecord = 0;
    for (uint32_t nCell = 0; nCell <= kCellCount; ++nCell) {
        while (nRecord < records.size() && records[nRecord].nCell < nCell) ++nRecord;
        AppendU32(file, static_cast<uint32_t>(nRecord));
    }
    PutU32(file, kHdrCountryCount, static_cast<uint32_t>(countries.size()));
    PutU32(file, kHdrCountries, static_cast<uint32_t>(file.size()));
    for (size_t i = 0; i < countries.size(); ++i) {
        file.push_back(static_cast<uint8_t>(countries[i].strCode[0]));
        file.push_back(static_cast<uint8_t>(countries[i].strCode[1]));
        file.push_back(0);
        file.push_back(0);
        AppendU32(file, countryNames[i]);
    }
    PutU32(file, kHdrLanguageCount, static_cast<uint32_t>(languageTags.size()));
    PutU32(file, kHdrLanguages, static_cast<uint32_t>(file.size()));
    for (uint32_t nTag : languageTags) AppendU32(file, nTag);
    PutU32(file, kHdrTranslations, static_cast<uint32_t>(file.size()));
    for (uint32_t nText : translations) AppendU32(file, nText);
    PutU32(file, kHdrAdmin1Count, static_cast<uint32_t>(admin1Names.size()));
    PutU32(file, kHdrAdmin1, static_cast<uint32_t>(file.size()));
    for (uint32_t nText : admin1Names) AppendU32(file, nText);
    PutU32(file, kHdrStringsSize, static_cast<uint32_t>(pool.GetBytes().size()));
    PutU32(file, kHdrStrings, static_cast<uint32_t>(file.size()));
    if (pool.GetBytes().size() > kMaxStringsSize - file.size()) {
        strError = "data file too large";
        return false;
    }
    file.insert(file.end(), pool.GetBytes().begin(), pool.GetBytes().end());
    return true;
}

bool ConvertPlaces(const SConvertPaths& paths, std::vector<uint8_t>& file, std::string& strError) {
    CPlacesSources sources;
    sources.m_strSources = paths.strSources;
    std::string data;
    std::string strReason;
    auto fail = [&](const std::string& strPath) {
        strError = strPath + ": " + strReason;
        return false;
    };
    if (!ReadWholeFile(paths.strCitiesPbf, data, strError)) return false;
    if (!ReadCitiesPbf(reinterpret_cast<const uint8_t*>(data.data()), data.size(), sources.m_places,
                       strReason)) {
        return fail(paths.strCitiesPbf);
    }
    if (!ReadWholeFile(paths.strAdmin1Json, data, strError)) return false;
    if (!ReadAdminNames(data, sources.m_admin1, strReason)) return fail(paths.strAdmin1Json);
    if (!ReadWholeFile(paths.strIsoJson, data, strError)) return false;
    if (!ReadIsoCountries(data, sources.m_countries, strReason)) return fail(paths.strIsoJson);
    // Kosovo has a GeoNames code but no ISO 3166-1 entry.
    sources.m_countries.push_back({"XK", "Kosovo", "Kosovo"});

    if (!paths.strLocaleDir.empty()) {
        std::error_code error;
        std::filesystem::directory_iterator it(paths.strLocaleDir, error), end;
        if (error) {
            strError = paths.strLocaleDir + ": " + error.message();
            return false;
        }
        for (; it != end; it.increment(error)) {
            std::filesystem::path mo = it->path() / "LC_MESSAGES" / "iso_3166-1.mo";
            if (!std::filesystem::is_regular_file(mo, error)) continue;
            if (!ReadWholeFile(mo.string(), data, strError)) return false;
            std::map<std::string, std::string> messages;
            if (!ReadMoCatalogue(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                 messages, strReason)) {
                return fail(mo.string());
            }
            sources.m_catalogues[it->path().filename().string()] = std::move(messages);
        }
        if (error) {
            strError = paths.strLocaleDir + ": " + error.message();
            return false;
        }
    }
    return BuildPlacesFile(sources, file, strError);
}
