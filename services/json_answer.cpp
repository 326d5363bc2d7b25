#include "services/json_answer.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "base/text.h"

namespace {

// A value nested this deep is refused, as JsonCpp's reader refuses it.
constexpr int kMaxDepth = 1000;
// Objects and arrays are filled down to the members of the root's members, and the members of
// the elements of an array there; deeper ones are checked and kept empty (see the header).
constexpr int kFilledDepth = 1;
constexpr unsigned kReplacementCharacter = 0xFFFD;

// One pass over the text that writes each value straight into its place in the tree: no token
// list, strings without escapes copied once from the answer, numbers decoded without a stream.
// Members are read as JsonCpp's reader reads them (comments allowed, the last of two equal
// names wins, integers as integers when they fit, any other number as a double). A member no
// service reads costs no map node and no copy of its name: it is checked and dropped.
class CAnswerParser {
  public:
    // bKeepAll: every member is kept, names is not looked at.
    CAnswerParser(const char* pBegin, const char* pEnd, CJsonNameSpan names, bool bKeepAll)
        : m_p(pBegin), m_pEnd(pEnd), m_names(names), m_bKeepAll(bKeepAll) {}

    bool ParseRoot(Json::Value& root) {
        if (!ParseValue(&root, 0, false)) return false;
        // Whatever follows the root value is no part of the answer, as JsonCpp's reader has it.
        return true;
    }

  private:
    bool AtEnd() const { return m_p == m_pEnd; }

    bool SkipSpace() {
        while (m_p != m_pEnd) {
            const char c = *m_p;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++m_p;
            } else if (c == '/') {
                if (!SkipComment()) return false;
            } else {
                break;
            }
        }
        return true;
    }

    bool SkipComment() {
        if (m_pEnd - m_p < 2) return false;
        if (m_p[1] == '/') {
            m_p += 2;
            while (m_p != m_pEnd && *m_p != '\n' && *m_p != '\r') ++m_p;
            return true;
        }
        if (m_p[1] != '*') return false;
        m_p += 2;
        while (m_pEnd - m_p >= 2) {
            if (m_p[0] == '*' && m_p[1] == '/') {
                m_p += 2;
                return true;
            }
            ++m_p;
        }
        return false;
    }

    bool Literal(const char* pszWord, size_t nLength) {
        if (static_cast<size_t>(m_pEnd - m_p) < nLength) return false;
        for (size_t i = 0; i < nLength; ++i) {
            if (m_p[i] != pszWord[i]) return false;
        }
        m_p += nLength;
        return true;
    }

    // pOut null: the value is only checked. bInArray: the value is an element of an array.
    bool ParseValue(Json::Value* pOut, int nDepth, bool bInArray) {
        if (nDepth >= kMaxDepth || !SkipSpace() || AtEnd()) return false;
        const bool bFill =
            pOut && (nDepth <= kFilledDepth || (nDepth == kFilledDepth + 1 && bInArray));
        switch (*m_p) {
            case '{':
                if (pOut) *pOut = Json::Value(Json::objectValue);
                return ParseObject(bFill ? pOut : nullptr, nDepth);
            case '[':
                if (pOut) *pOut = Json::Value(Json::arrayValue);
                return ParseArray(bFill ? pOut : nullptr, nDepth);
            case '"':
                return ParseStringValue(pOut);
            case 't':
                if (pOut) *pOut = true;
                return Literal("true", 4);
            case 'f':
                if (pOut) *pOut = false;
                return Literal("false", 5);
            case 'n':
                // A null after an equal name replaces the earlier value.
                if (pOut) *pOut = Json::Value();
                return Literal("null", 4);
            default:
                return ParseNumber(pOut);
        }
    }

    bool ParseObject(Json::Value* pOut, int nDepth) {
        ++m_p;
        if (!SkipSpace() || AtEnd()) return false;
        if (*m_p == '}') {
            ++m_p;
            return true;
        }
        for (;;) {
            if (!SkipSpace() || AtEnd() || *m_p != '"') return false;
            const char* pKey = nullptr;
            size_t nKey = 0;
            if (!ReadString(pKey, nKey)) return false;
            // The key is looked up before the next string reuses the decoding buffer.
            Json::Value* pMember = pOut && IsKept(std::string_view(pKey, nKey))
                                       ? &(*pOut)[Json::String(pKey, nKey)]
                                       : nullptr;
            if (!SkipSpace() || AtEnd() || *m_p != ':') return false;
            ++m_p;
            if (!ParseValue(pMember, nDepth + 1, false) || !SkipSpace() || AtEnd()) return false;
            if (*m_p == '}') {
                ++m_p;
                return true;
            }
            if (*m_p != ',') return false;
            ++m_p;
        }
    }

    bool IsKept(std::string_view strKey) const {
        if (m_bKeepAll) return true;
        for (std::string_view strName : m_names) {
            if (strName == strKey) return true;
        }
        return false;
    }

    bool ParseArray(Json::Value* pOut, int nDepth) {
        ++m_p;
        if (!SkipSpace() || AtEnd()) return false;
        if (*m_p == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            Json::Value* pElement = pOut ? &pOut->append(Json::Value()) : nullptr;
            if (!ParseValue(pElement, nDepth + 1, true) || !SkipSpace() || AtEnd()) return false;
            if (*m_p == ']') {
                ++m_p;
                return true;
            }
            if (*m_p != ',') return false;
            ++m_p;
        }
    }

    bool ParseStringValue(Json::Value* pOut) {
        const char* pText = nullptr;
        size_t nText = 0;
        if (!ReadString(pText, nText)) return false;
        if (pOut) *pOut = Json::Value(pText, pText + nText);
        return true;
    }

    // The text of the string at m_p, pointing into the answer when it has no escape and into
    // m_strDecoded otherwise (valid until the next string).
    bool ReadString(const char*& pText, size_t& nText) {
        const char* pStart = ++m_p;
        while (m_p != m_pEnd && *m_p != '"' && *m_p != '\\') ++m_p;
        if (m_p == m_pEnd) return false;
        if (*m_p == '"') {
            pText = pStart;
            nText = static_cast<size_t>(m_p - pStart);
            ++m_p;
            return true;
        }
        m_strDecoded.assign(pStart, m_p);
        while (m_p != m_pEnd) {
            const char c = *m_p++;
            if (c == '"') {
                pText = m_strDecoded.data();
                nText = m_strDecoded.size();
                return true;
            }
            if (c != '\\') {
                m_strDecoded.push_back(c);
                continue;
            }
            if (m_p == m_pEnd) return false;
            const char e = *m_p++;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    m_strDecoded.push_back(e);
                    break;
                case 'b':
                    m_strDecoded.push_back('\b');
                    break;
                case 'f':
                    m_strDecoded.push_back('\f');
                    break;
                case 'n':
                    m_strDecoded.push_back('\n');
                    break;
                case 'r':
                    m_strDecoded.push_back('\r');
                    break;
                case 't':
                    m_strDecoded.push_back('\t');
                    break;
                case 'u':
                    if (!DecodeUnicodeEscape()) return false;
                    break;
                default:
                    return false;
            }
        }
        return false;
    }

    bool ReadHex4(unsigned& nUnit) {
        if (m_pEnd - m_p < 4) return false;
        nUnit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            unsigned nDigit = 0;
            if (c >= '0' && c <= '9') {
                nDigit = static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                nDigit = static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                nDigit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
            nUnit = (nUnit << 4) | nDigit;
        }
        return true;
    }

    // A high surrogate needs another escape right after it, as JsonCpp's reader has it. When
    // that is no low half, the high one reads as U+FFFD and the next stands for itself; a lone
    // low half is kept as its three-byte form, as JsonCpp keeps it.
    bool DecodeUnicodeEscape() {
        unsigned nCode = 0;
        if (!ReadHex4(nCode)) return false;
        while (nCode >= 0xD800 && nCode <= 0xDBFF) {
            if (m_pEnd - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u') return false;
            m_p += 2;
            unsigned nNext = 0;
            if (!ReadHex4(nNext)) return false;
            if (nNext >= 0xDC00 && nNext <= 0xDFFF) {
                nCode = 0x10000 + ((nCode & 0x3FF) << 10) + (nNext & 0x3FF);
                break;
            }
            AppendUtf8(kReplacementCharacter);
            nCode = nNext;
        }
        AppendUtf8(nCode);
        return true;
    }

    void AppendUtf8(unsigned nCode) {
        std::string& s = m_strDecoded;
        if (nCode < 0x80) {
            s.push_back(static_cast<char>(nCode));
        } else if (nCode < 0x800) {
            s.push_back(static_cast<char>(0xC0 | (nCode >> 6)));
            s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        } else if (nCode < 0x10000) {
            s.push_back(static_cast<char>(0xE0 | (nCode >> 12)));
            s.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        } else {
            s.push_back(static_cast<char>(0xF0 | (nCode >> 18)));
            s.push_back(static_cast<char>(0x80 | ((nCode >> 12) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        }
    }

    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    // Strict JSON numbers: an integer part without leading zeros, then an optional fraction
    // and exponent, each with at least one digit.
    // pOut null: the number is only checked.
    bool ParseNumber(Json::Value* pOut) {
        const char* pStart = m_p;
        const bool bNegative = *m_p == '-';
        if (bNegative) ++m_p;
        if (AtEnd() || !IsDigit(*m_p)) return false;
        if (*m_p == '0') {
            ++m_p;
        } else {
            while (m_p != m_pEnd && IsDigit(*m_p)) ++m_p;
        }
        bool bInteger = true;
        if (m_p != m_pEnd && *m_p == '.') {
            bInteger = false;
            ++m_p;
            if (AtEnd() || !IsDigit(*m_p)) return false;
            while (m_p != m_pEnd && IsDigit(*m_p)) ++m_p;
        }
        if (m_p != m_pEnd && (*m_p == 'e' || *m_p == 'E')) {
            bInteger = false;
            ++m_p;
            if (m_p != m_pEnd && (*m_p == '+' || *m_p == '-')) ++m_p;
            if (AtEnd() || !IsDigit(*m_p)) return false;
            while (m_p != m_pEnd && IsDigit(*m_p)) ++m_p;
        }
        if (bInteger) {
            const char* pDigits = pStart + (bNegative ? 1 : 0);
            uint64_t nValue = 0;
            const auto [pStop, ec] = std::from_chars(pDigits, m_p, nValue);
            if (ec == std::errc() && pStop == m_p) {
                constexpr uint64_t kMinMagnitude =
                    static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
                if (!bNegative) {
                    if (!pOut) return true;
                    if (nValue <= static_cast<uint64_t>(Json::Value::maxInt)) {
                        *pOut = static_cast<Json::Value::LargestInt>(nValue);
                    } else {
                        *pOut = static_cast<Json::Value::LargestUInt>(nValue);
                    }
                    return true;
                }
                if (nValue <= kMinMagnitude) {
                    if (!pOut) return true;
                    *pOut = nValue == kMinMagnitude ? Json::Value::minLargestInt
                                                    : -static_cast<Json::Value::LargestInt>(nValue);
                    return true;
                }
            }
        }
        // Too large an integer becomes a double; a double out of range is no number.
        double dValue = 0.0;
        const auto [pStop, ec] = std::from_chars(pStart, m_p, dValue);
        if (ec != std::errc() || pStop != m_p) return false;
        if (pOut) *pOut = dValue;
        return true;
    }

    const char* m_p;
    const char* const m_pEnd;
    const CJsonNameSpan m_names;
    const bool m_bKeepAll;
    std::string m_strDecoded;
};

bool Parse(const std::string& strAnswer, CJsonNameSpan names, bool bKeepAll, Json::Value& root) {
    try {
        root = Json::Value();
        CAnswerParser parser(strAnswer.data(), strAnswer.data() + strAnswer.size(), names,
                             bKeepAll);
        if (parser.ParseRoot(root)) return true;
    } catch (...) {
        // Out of memory while building the tree: such an answer is no answer either.
    }
    root = Json::Value();
    return false;
}

}  // namespace

bool ParseJsonAnswer(const std::string& strAnswer, CJsonNameSpan names, Json::Value& root) {
    return Parse(strAnswer, names, false, root);
}

bool ParseJsonAnswer(const std::string& strAnswer, Json::Value& root) {
    return Parse(strAnswer, CJsonNameSpan(), true, root);
}

const Json::Value& JsonMember(const Json::Value& obj, std::string_view strName) {
    static const Json::Value kNull;
    if (!obj.isObject()) return kNull;
    const Json::Value* pMember = obj.find(strName.data(), strName.data() + strName.size());
    return pMember ? *pMember : kNull;
}

bool JsonHasMember(const Json::Value& obj, std::string_view strName) {
    return !JsonMember(obj, strName).isNull();
}

std::wstring JsonText(const Json::Value& obj, std::string_view strName) {
    const Json::Value& member = JsonMember(obj, strName);
    if (!member.isString()) return std::wstring();
    return Utf8ToWide(member.asCString());
}
