// The owner of one Windows file handle, shared by the Windows platform files. Included by
// *_win32.cpp files only.
#pragma once

#include <windows.h>

class CFileHandle {
  public:
    explicit CFileHandle(HANDLE h) : m_h(h) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    // Hands the handle to a new owner.
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
    // Closes the handle held so far (its close error is lost) and takes h.
    void Reset(HANDLE h) {
        Close();
        m_h = h;
    }
    // Closes now: for a written file a late write error may surface only here.
    bool Close() {
        if (!IsValid()) return true;
        const BOOL bOk = CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
        return bOk != FALSE;
    }

  private:
    HANDLE m_h;
};
