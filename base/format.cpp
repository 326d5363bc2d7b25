#include "base/format.h"

#include <charconv>
#include <cmath>
#include <cwchar>

#include "base/text.h"

namespace {

struct SSpec {
    bool bLeft = false, bPlus = false, bSpace = false, bAlt = false, bZero = false;
    int nWidth = -1;
    int nPrecision = -1;
    bool b64 = false;  // "ll", "j", "z", "t", "I64": the integer is taken in 64 bits
    wchar_t cConv = 0;
};

const CFormatArg kEmptyArg;

std::wstring Widen(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

int64_t AsSigned(const CFormatArg& a) {
    switch (a.m_eKind) {
        case CFormatArg::kSigned:
            return a.m_nSigned;
        case CFormatArg::kUnsigned:
        case CFormatArg::kPointer:
            return static_cast<int64_t>(a.m_nUnsigned);
        case CFormatArg::kDouble:
            return std::isfinite(a.m_dValue) && std::fabs(a.m_dValue) < 9.2e18
                       ? static_cast<int64_t>(a.m_dValue)
                       : 0;
        default:
            return 0;
    }
}

double AsDouble(const CFormatArg& a) {
    switch (a.m_eKind) {
        case CFormatArg::kDouble:
            return a.m_dValue;
        case CFormatArg::kSigned:
            return static_cast<double>(a.m_nSigned);
        case CFormatArg::kUnsigned:
            return static_cast<double>(a.m_nUnsigned);
        default:
            return 0.0;
    }
}

// Pads a converted field to its width; zero padding goes after a sign or a 0x prefix.
void AppendPadded(std::wstring& out, const SSpec& spec, std::wstring_view prefix,
                  std::wstring_view body, bool bZeroAllowed) {
    size_t len = prefix.size() + body.size();
    size_t width = spec.nWidth > 0 ? static_cast<size_t>(spec.nWidth) : 0;
    size_t pad = width > len ? width - len : 0;
    if (spec.bLeft) {
        out.append(prefix).append(body).append(pad, L' ');
    } else if (spec.bZero && bZeroAllowed) {
        out.append(prefix).append(pad, L'0').append(body);
    } else {
        out.append(pad, L' ').append(prefix).append(body);
    }
}

void FormatInteger(std::wstring& out, const SSpec& spec, const CFormatArg& a) {
    const bool bSigned = spec.cConv == L'd' || spec.cConv == L'i';
    std::wstring prefix;
    uint64_t magnitude = 0;
    if (bSigned) {
        int64_t v = AsSigned(a);
        if (!spec.b64) v = static_cast<int32_t>(v);
        if (v < 0) {
            prefix = L"-";
            magnitude = static_cast<uint64_t>(0) - static_cast<uint64_t>(v);
        } else {
            if (spec.bPlus)
                prefix = L"+";
            else if (spec.bSpace)
                prefix = L" ";
            magnitude = static_cast<uint64_t>(v);
        }
    } else {
        magnitude = static_cast<uint64_t>(AsSigned(a));
        if (!spec.b64 && a.m_eKind != CFormatArg::kPointer) magnitude &= 0xFFFFFFFFu;
    }
    int base = 10;
    if (spec.cConv == L'x' || spec.cConv == L'X' || spec.cConv == L'p') base = 16;
    if (spec.cConv == L'o') base = 8;
    char buf[72];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude, base);
    std::string digits(buf, res.ptr);
    if (spec.cConv == L'X') {
        for (char& c : digits) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    }
    if (spec.nPrecision >= 0) {
        if (spec.nPrecision == 0 && magnitude == 0) digits.clear();
        if (digits.size() < static_cast<size_t>(spec.nPrecision))
            digits.insert(0, static_cast<size_t>(spec.nPrecision) - digits.size(), '0');
    }
    if ((spec.bAlt && magnitude != 0 && base == 16) || spec.cConv == L'p')
        prefix += spec.cConv == L'X' ? L"0X" : L"0x";
    if (spec.bAlt && base == 8 && (digits.empty() || digits[0] != '0'))
        digits.insert(digits.begin(), '0');
    AppendPadded(out, spec, prefix, Widen(digits), spec.nPrecision < 0);
}

void FormatFloating(std::wstring& out, const SSpec& spec, const CFormatArg& a) {
    double v = AsDouble(a);
    const wchar_t lower = static_cast<wchar_t>(spec.cConv | 0x20);
    const bool bUpper = spec.cConv != lower;
    std::wstring prefix;
    if (std::signbit(v) && !std::isnan(v)) {
        prefix = L"-";
        v = -v;
    } else if (spec.bPlus) {
        prefix = L"+";
    } else if (spec.bSpace) {
        prefix = L" ";
    }
    std::string body;
    if (std::isnan(v) || std::isinf(v)) {
        body = std::isnan(v) ? "nan" : "inf";
    } else {
        int precision = spec.nPrecision < 0 ? 6 : spec.nPrecision;
        if (precision > 300) precision = 300;
        std::chars_format fmt = std::chars_format::fixed;
        if (lower == L'e') fmt = std::chars_format::scientific;
        if (lower == L'g') {
            fmt = std::chars_format::general;
            if (precision == 0) precision = 1;
        }
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof buf, v, fmt, precision);
        body.assign(buf, res.ptr);
        if (lower == L'g' && spec.bAlt && body.find('.') == std::string::npos &&
            body.find('e') == std::string::npos)
            body += '.';
    }
    if (bUpper) {
        for (char& c : body) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    AppendPadded(out, spec, prefix, Widen(body), std::isfinite(AsDouble(a)));
}

void FormatString(std::wstring& out, const SSpec& spec, const CFormatArg& a) {
    // A plain %s of wide text, nearly every one the plug-in writes, is a copy.
    if (a.m_eKind == CFormatArg::kWide && spec.nWidth <= 0 && spec.nPrecision < 0) {
        out.append(a.m_wide);
        return;
    }
    std::wstring owned;
    std::wstring_view text;
    switch (a.m_eKind) {
        case CFormatArg::kWide:
            text = a.m_wide;
            break;
        case CFormatArg::kNarrow:
            owned = Utf8ToWide(a.m_narrow);
            text = owned;
            break;
        case CFormatArg::kNone:
            break;
        default:
            // A number where text was expected: show the number rather than read memory.
            owned = FormatText(a.m_eKind == CFormatArg::kDouble ? L"%g" : L"%lld",
                               a.m_eKind == CFormatArg::kDouble ? CFormatArg(a.m_dValue)
                                                                : CFormatArg(AsSigned(a)));
            text = owned;
            break;
    }
    if (spec.nPrecision >= 0 && text.size() > static_cast<size_t>(spec.nPrecision))
        text = text.substr(0, static_cast<size_t>(spec.nPrecision));
    AppendPadded(out, spec, L"", text, false);
}

void FormatChar(std::wstring& out, const SSpec& spec, const CFormatArg& a) {
    wchar_t c = static_cast<wchar_t>(AsSigned(a));
    AppendPadded(out, spec, L"", std::wstring_view(&c, c ? 1 : 0), false);
}

// A format whose every conversion is a plain %s of wide text, as nearly every log line's is,
// appended with one pass that sizes the line and one that copies its pieces; false, with out
// untouched, for any other format (a flag, a width, another conversion, a missing argument).
bool AppendPlainWide(std::wstring& out, std::wstring_view format, const CFormatArg* args,
                     size_t count) {
    constexpr size_t npos = std::wstring_view::npos;
    size_t nSize = format.size();
    size_t nArg = 0;
    for (size_t i = format.find(L'%'); i != npos; i = format.find(L'%', i + 2)) {
        if (i + 1 >= format.size() || format[i + 1] != L's' || nArg >= count ||
            args[nArg].m_eKind != CFormatArg::kWide)
            return false;
        nSize = nSize - 2 + args[nArg++].m_wide.size();
    }
    const size_t nOld = out.size();
    out.resize(nOld + nSize);
    wchar_t* p = out.data() + nOld;
    auto put = [&p](std::wstring_view piece) {
        if (!piece.empty()) std::wmemcpy(p, piece.data(), piece.size());
        p += piece.size();
    };
    size_t nStart = 0;
    nArg = 0;
    for (size_t i = format.find(L'%'); i != npos; i = format.find(L'%', i + 2)) {
        put(format.substr(nStart, i - nStart));
        put(args[nArg++].m_wide);
        nStart = i + 2;
    }
    put(format.substr(nStart));
    return true;
}

}  // namespace

std::wstring FormatArgs(std::wstring_view format, const CFormatArg* args, size_t count) {
    std::wstring out;
    AppendFormatArgs(out, format, args, count);
    return out;
}

void AppendFormatArgs(std::wstring& out, std::wstring_view format, const CFormatArg* args,
                      size_t count) {
    // A fixed line ("Cached") is its own text.
    if (count == 0 && format.find(L'%') == std::wstring_view::npos) {
        out.append(format);
        return;
    }
    if (AppendPlainWide(out, format, args, count)) return;
    size_t nReserve = out.size() + format.size() + 16 * count;
    for (size_t k = 0; k < count; ++k) nReserve += args[k].m_wide.size();
    out.reserve(nReserve);
    size_t next = 0;
    auto take = [&]() -> const CFormatArg& { return next < count ? args[next++] : kEmptyArg; };
    auto takeInt = [&]() -> int {
        int64_t v = AsSigned(take());
        return v < -100000 ? -100000 : v > 100000 ? 100000 : static_cast<int>(v);
    };

    size_t i = 0;
    const size_t n = format.size();
    while (i < n) {
        wchar_t c = format[i];
        if (c != L'%') {
            size_t j = format.find(L'%', i);
            if (j == std::wstring_view::npos) j = n;
            out.append(format.substr(i, j - i));
            i = j;
            continue;
        }
        const size_t start = i++;
        if (i < n && format[i] == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        SSpec spec;
        for (; i < n; ++i) {
            wchar_t f = format[i];
            if (f == L'-')
                spec.bLeft = true;
            else if (f == L'+')
                spec.bPlus = true;
            else if (f == L' ')
                spec.bSpace = true;
            else if (f == L'#')
                spec.bAlt = true;
            else if (f == L'0')
                spec.bZero = true;
            else
                break;
        }
        if (i < n && format[i] == L'*') {
            spec.nWidth = takeInt();
            if (spec.nWidth < 0) {
                spec.bLeft = true;
                spec.nWidth = -spec.nWidth;
            }
            ++i;
        } else {
            int w = -1;
            while (i < n && format[i] >= L'0' && format[i] <= L'9') {
                w = (w < 0 ? 0 : w) * 10 + (format[i] - L'0');
                if (w > 100000) w = 100000;
                ++i;
            }
            spec.nWidth = w;
        }
        if (i < n && format[i] == L'.') {
            ++i;
            if (i < n && format[i] == L'*') {
                spec.nPrecision = takeInt();
                ++i;
            } else {
                int p = 0;
                while (i < n && format[i] >= L'0' && format[i] <= L'9') {
                    p = p * 10 + (format[i] - L'0');
                    if (p > 100000) p = 100000;
                    ++i;
                }
                spec.nPrecision = p;
            }
        }
        // Length modifiers: only the 64-bit ones change anything.
        while (i < n) {
            wchar_t m = format[i];
            if (m == L'l' && i + 1 < n && format[i + 1] == L'l') {
                spec.b64 = true;
                i += 2;
            } else if (m == L'j' || m == L'z' || m == L't') {
                spec.b64 = true;
                ++i;
            } else if (m == L'I' && format.substr(i, 3) == L"I64") {
                spec.b64 = true;
                i += 3;
            } else if (m == L'h' || m == L'l' || m == L'L' || m == L'w') {
                ++i;
            } else {
                break;
            }
        }
        if (i >= n) {
            out.append(format.substr(start));
            break;
        }
        spec.cConv = format[i++];
        switch (spec.cConv) {
            case L'd':
            case L'i':
            case L'u':
            case L'x':
            case L'X':
            case L'o':
            case L'p':
                FormatInteger(out, spec, take());
                break;
            case L'f':
            case L'F':
            case L'e':
            case L'E':
            case L'g':
            case L'G':
                FormatFloating(out, spec, take());
                break;
            case L's':
            case L'S':
                FormatString(out, spec, take());
                break;
            case L'c':
            case L'C':
                FormatChar(out, spec, take());
                break;
            default:
                // Not a conversion this formatter knows: copy it as it stands.
                out.append(format.substr(start, i - start));
                break;
        }
    }
}
