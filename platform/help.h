// Opening the user help beside the module: Locanym.html with the desktop's opener on Linux,
// Locanym.chm with the system's HTML Help viewer on Windows.
#pragma once

#include <string>

// Name of the help file of this platform ("Locanym.html" or "Locanym.chm").
extern const wchar_t kHelpFileName[];

// Full path of the help file: the folder of the plug-in's own file and kHelpFileName; empty
// when the module's path is unknown.
std::wstring GetHelpFilePath();

// Finds the opener on first use and keeps the answer: once it is known to be missing, every
// later request does nothing, silently. Call from one thread (the dialog's). On Windows the
// viewer library, once loaded, stays loaded for the life of the process.
class CHelpLoader {
  public:
    // pszOpener: null for the platform's own. On Linux a program name looked up in PATH (or a
    // path with a slash), "xdg-open" by default; on Windows the file of the HTML Help library
    // to load in place of the one the system registers (or, failing that, "hhctrl.ocx").
    explicit CHelpLoader(const char* pszOpener = nullptr);
    CHelpLoader(const CHelpLoader&) = delete;
    CHelpLoader& operator=(const CHelpLoader&) = delete;

    // Starts the opener on strPath without waiting for it (on Windows: shows the file's
    // default topic). False when there is no opener or it could not be started, or the viewer
    // gave no window; beyond that the result says nothing about what the opener then does.
    bool Open(const std::wstring& strPath);
    bool OpenHelp() { return Open(GetHelpFilePath()); }

    // Whether the opener was looked for and not found.
    bool HasFailed() const { return m_eState == EState::kMissing; }

  private:
    enum class EState { kUnknown, kFound, kMissing };
    std::string m_strOpener;
    std::string m_strOpenerPath;
    EState m_eState = EState::kUnknown;
    void* m_pEntry = nullptr;  // Windows: the viewer's entry point, valid while kFound
};
