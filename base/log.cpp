#include "base/log.h"

#include <atomic>

namespace {
// Atomic because a stop message may log from another thread while a photo is processed.
std::atomic<SldHostCallback> s_pfnLogCallback{nullptr};
}  // namespace

void SetLogCallback(SldHostCallback pfnCallback) {
    s_pfnLogCallback.store(pfnCallback);
}

bool IsLogEnabled() {
    return s_pfnLogCallback.load() != nullptr;
}

void WriteLogLine(int nLevel, const std::wstring& strText) {
    SldHostCallback pfn = s_pfnLogCallback.load();
    if (!pfn) return;
    static const wchar_t kPrefix[] = L"[Locanym Plugin]";
    static const wchar_t kErrorPrefix[] = L"[!Locanym Plugin]";
    wchar_t buffer[kLogBufferChars];
    size_t len = strText.size() < kLogBufferChars - 1 ? strText.size() : kLogBufferChars - 1;
    strText.copy(buffer, len);
    buffer[len] = L'\0';
    pfn(kCbLog, reinterpret_cast<uintptr_t>(nLevel ? kErrorPrefix : kPrefix),
        reinterpret_cast<uintptr_t>(buffer));
}
