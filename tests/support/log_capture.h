// Captures the log lines of the plug-in's logic (WriteLog) for a unit test, from any thread.
// One capture at a time; logging is off again when it ends.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"

class CLogCapture {
  public:
    struct SLine {
        bool bError = false;
        std::wstring strText;
    };

    CLogCapture() {
        s_pCurrent = this;
        SetLogCallback(&Callback);
    }
    ~CLogCapture() {
        SetLogCallback(nullptr);
        s_pCurrent = nullptr;
    }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<SLine> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // Whether a captured line holds strPart.
    bool Holds(const std::wstring& strPart) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const SLine& line : m_lines)
            if (line.strText.find(strPart) != std::wstring::npos) return true;
        return false;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

  private:
    static intptr_t Callback(int32_t nCode, uintptr_t first, uintptr_t second) {
        CLogCapture* p = s_pCurrent;
        if (!p || nCode != kCbLog) return 0;
        SLine line;
        line.bError = std::wstring(reinterpret_cast<const wchar_t*>(first)).rfind(L"[!", 0) == 0;
        line.strText = reinterpret_cast<const wchar_t*>(second);
        std::lock_guard<std::mutex> lock(p->m_mutex);
        p->m_lines.push_back(std::move(line));
        return 0;
    }

    static inline CLogCapture* s_pCurrent = nullptr;
    std::mutex m_mutex;
    std::vector<SLine> m_lines;
};
