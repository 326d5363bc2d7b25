// printf-style formatting of wide text, the same on every platform.
//
// The plug-in's formats are the ones its log lines and texts were designed with: "%s" takes
// wide text (a const wchar_t* or a std::wstring), "%d", "%u", "%x", "%lld" take integers,
// "%f", "%g", "%.7f" take floating-point values. The C library's wide printf disagrees between
// platforms on what "%s" means, so the plug-in formats with this type-safe routine instead.
// Numbers always use '.' as the decimal point, whatever the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// One argument of FormatText, captured by value (texts by reference: they must outlive the
// call, which they do for a temporary bound to a FormatText parameter).
class CFormatArg {
  public:
    enum EKind { kNone, kSigned, kUnsigned, kDouble, kWide, kNarrow, kPointer };

    CFormatArg() = default;
    template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    CFormatArg(T v) : m_eKind(kSigned), m_nSigned(static_cast<int64_t>(v)) {}
    template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_signed_v<T>, int> = 0>
    CFormatArg(T v) : m_eKind(kUnsigned), m_nUnsigned(static_cast<uint64_t>(v)) {}
    template <class T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
    CFormatArg(T v) : CFormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
    CFormatArg(double v) : m_eKind(kDouble), m_dValue(v) {}
    CFormatArg(float v) : m_eKind(kDouble), m_dValue(v) {}
    CFormatArg(const wchar_t* s) : m_eKind(kWide), m_wide(s ? s : L"") {}
    CFormatArg(wchar_t* s) : m_eKind(kWide), m_wide(s ? s : L"") {}
    CFormatArg(const std::wstring& s) : m_eKind(kWide), m_wide(s) {}
    CFormatArg(std::wstring_view s) : m_eKind(kWide), m_wide(s) {}
    // Narrow text is taken as UTF-8.
    CFormatArg(const char* s) : m_eKind(kNarrow), m_narrow(s ? s : "") {}
    CFormatArg(const std::string& s) : m_eKind(kNarrow), m_narrow(s) {}
    CFormatArg(std::string_view s) : m_eKind(kNarrow), m_narrow(s) {}
    CFormatArg(const void* p) : m_eKind(kPointer), m_nUnsigned(reinterpret_cast<uintptr_t>(p)) {}
    CFormatArg(std::nullptr_t) : m_eKind(kPointer), m_nUnsigned(0) {}

    EKind m_eKind = kNone;
    int64_t m_nSigned = 0;
    uint64_t m_nUnsigned = 0;
    double m_dValue = 0.0;
    std::wstring_view m_wide;
    std::string_view m_narrow;
};

// Formats with an argument array; a missing argument formats as 0 or an empty text, an
// argument of the wrong kind is converted (never undefined behaviour).
std::wstring FormatArgs(std::wstring_view format, const CFormatArg* args, size_t count);
// The same, appended to out (whose room a caller may keep from one line to the next).
void AppendFormatArgs(std::wstring& out, std::wstring_view format, const CFormatArg* args,
                      size_t count);

template <class... A>
std::wstring FormatText(std::wstring_view format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return FormatArgs(format, nullptr, 0);
    } else {
        const CFormatArg list[] = {CFormatArg(args)...};
        return FormatArgs(format, list, sizeof...(A));
    }
}

template <class... A>
void AppendFormatText(std::wstring& out, std::wstring_view format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        AppendFormatArgs(out, format, nullptr, 0);
    } else {
        const CFormatArg list[] = {CFormatArg(args)...};
        AppendFormatArgs(out, format, list, sizeof...(A));
    }
}
