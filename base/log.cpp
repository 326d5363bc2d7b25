#include "base/log.h"

#include <atomic>
#include <cstdint>
#include <string_view>
#include <utility>

namespace {
// Atomic because a stop message may log from another thread while a photo is processed.
std::atomic<SldHostCallback> s_pfnLogCallback{nullptr};

constexpr size_t kSpareBuffers = 8;
constexpr size_t kSpareBufferMaxChars = 512;

// What a thread's logging keeps, in one object: each thread_local of a loaded module costs a
// lookup at every use.
struct SLogThreadState {
    // Lines held back while a CDeferredLog lives, and how many live.
    int nDepth = 0;
    std::vector<std::pair<int, std::wstring>> lines;
    // The list of the last lines handed over, kept empty with its room for the next photo's.
    std::vector<std::pair<int, std::wstring>> spareLines;
    // Texts of lines handed over, emptied, whose room the next lines are formatted into. A few
    // of ordinary length are kept; a photo writes two or three lines.
    std::vector<std::wstring> spareBuffers;
};
thread_local SLogThreadState t_log;

void GiveLineBuffer(SLogThreadState& state, std::wstring&& strText) {
    if (state.spareBuffers.size() >= kSpareBuffers || strText.capacity() > kSpareBufferMaxChars)
        return;
    strText.clear();
    // Keeping the room is only a saving: without memory for the list, the text is let go.
    try {
        state.spareBuffers.push_back(std::move(strText));
    } catch (...) {
    }
}

const wchar_t kHexDigits[] = L"0123456789ABCDEF";

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool HasControl(const std::wstring& strText) {
    // Eight characters a step, without a branch for each, while all are printable ASCII.
    const wchar_t* p = strText.data();
    size_t n = strText.size();
    for (; n >= 8; p += 8, n -= 8) {
        unsigned nOther = 0;
        for (size_t k = 0; k < 8; ++k)
            nOther |= static_cast<unsigned>(static_cast<uint32_t>(p[k]) - 0x20u >= 0x5Fu);
        if (nOther != 0) break;
    }
    for (const wchar_t c : std::wstring_view(p, n)) {
        // Printable ASCII, nearly every character of a line, in one comparison.
        if (static_cast<uint32_t>(c) - 0x20u < 0x5Fu) continue;
        if (IsControl(c)) return true;
    }
    return false;
}

void AppendEscape(std::wstring& out, wchar_t c) {
    switch (c) {
        case L'\n':
            out += L"\\n";
            return;
        case L'\r':
            out += L"\\r";
            return;
        case L'\t':
            out += L"\\t";
            return;
        default:
            break;
    }
    const unsigned n = static_cast<unsigned>(c);
    if (n <= 0xFF) {
        out += L"\\x";
    } else {
        out += L"\\u";
        out += kHexDigits[(n >> 12) & 0xF];
        out += kHexDigits[(n >> 8) & 0xF];
    }
    out += kHexDigits[(n >> 4) & 0xF];
    out += kHexDigits[n & 0xF];
}

void SendLine(int nLevel, const std::wstring& strText) {
    SldHostCallback pfn = s_pfnLogCallback.load();
    if (!pfn) return;
    static const wchar_t kPrefix[] = L"[Locanym Plugin]";
    static const wchar_t kErrorPrefix[] = L"[!Locanym Plugin]";
    const auto* pPrefix = nLevel ? kErrorPrefix : kPrefix;
    // Nearly every line is short and plain: it goes to the host as it is, without a copy.
    if (strText.size() < kLogBufferChars && !HasControl(strText)) {
        pfn(kCbLog, reinterpret_cast<uintptr_t>(pPrefix),
            reinterpret_cast<uintptr_t>(strText.c_str()));
        return;
    }
    const std::wstring strLine = EscapeLogText(strText);
    pfn(kCbLog, reinterpret_cast<uintptr_t>(pPrefix), reinterpret_cast<uintptr_t>(strLine.c_str()));
}
}  // namespace

void SetLogCallback(SldHostCallback pfnCallback) {
    s_pfnLogCallback.store(pfnCallback);
}

bool IsLogEnabled() {
    return s_pfnLogCallback.load() != nullptr;
}

std::wstring EscapeLogText(const std::wstring& strText) {
    constexpr size_t kMaxChars = kLogBufferChars - 1;
    std::wstring out;
    out.reserve(strText.size() < kMaxChars ? strText.size() : kMaxChars);
    for (wchar_t c : strText) {
        if (!IsControl(c)) {
            if (out.size() + 1 > kMaxChars) break;
            out += c;
            continue;
        }
        std::wstring escape;
        AppendEscape(escape, c);
        if (out.size() + escape.size() > kMaxChars) break;
        out += escape;
    }
    return out;
}

void WriteLogLine(int nLevel, const std::wstring& strText) {
    SLogThreadState& state = t_log;
    if (state.nDepth > 0) {
        if (IsLogEnabled()) state.lines.emplace_back(nLevel, strText);
        return;
    }
    SendLine(nLevel, strText);
}

void WriteLogLine(int nLevel, std::wstring&& strText) {
    SLogThreadState& state = t_log;
    if (state.nDepth > 0) {
        if (IsLogEnabled()) state.lines.emplace_back(nLevel, std::move(strText));
        return;
    }
    SendLine(nLevel, strText);
    GiveLineBuffer(state, std::move(strText));
}

void WriteLogArgs(int nLevel, std::wstring_view format, const CFormatArg* args, size_t count) {
    if (!IsLogEnabled()) return;
    // The thread's state is looked up once for the line: in a loaded module each look-up of a
    // thread_local is a call.
    SLogThreadState& state = t_log;
    std::wstring strLine;
    if (!state.spareBuffers.empty()) {
        strLine = std::move(state.spareBuffers.back());
        state.spareBuffers.pop_back();
    }
    AppendFormatArgs(strLine, format, args, count);
    if (state.nDepth > 0) {
        state.lines.emplace_back(nLevel, std::move(strLine));
        return;
    }
    SendLine(nLevel, strLine);
    GiveLineBuffer(state, std::move(strLine));
}

CDeferredLog::CDeferredLog() {
    ++t_log.nDepth;
}

CDeferredLog::~CDeferredLog() {
    SLogThreadState& state = t_log;
    if (--state.nDepth > 0) return;
    // The lines are taken out before the host sees them: its callback may send a message
    // that holds back lines of its own.
    std::vector<std::pair<int, std::wstring>> lines;
    lines.swap(state.spareLines);
    lines.swap(state.lines);
    // A destructor must not throw; a line that cannot be written now is lost.
    try {
        for (const auto& line : lines) SendLine(line.first, line.second);
        for (auto& line : lines) GiveLineBuffer(state, std::move(line.second));
    } catch (...) {
    }
    lines.clear();
    if (lines.capacity() > state.spareLines.capacity()) lines.swap(state.spareLines);
}
