// Opening the user help (Locanym.html beside the module) with the desktop's opener.
#pragma once

#include <string>

// Full path of the help page: the folder of the plug-in's own file and "Locanym.html"; empty
// when the module's path is unknown.
std::wstring GetHelpFilePath();

// Finds the desktop's opener on first use and keeps the answer: once it is known to be
// missing, every later request does nothing, silently. Call from one thread (the dialog's).
class CHelpLoader {
  public:
    // pszOpener: the opener's program name, looked up in PATH (or a path with a slash).
    explicit CHelpLoader(const char* pszOpener = "xdg-open");
    CHelpLoader(const CHelpLoader&) = delete;
    CHelpLoader& operator=(const CHelpLoader&) = delete;

    // Starts the opener on strPath without waiting for it. False when there is no opener or it
    // could not be started; the result says nothing about what the opener then does.
    bool Open(const std::wstring& strPath);
    bool OpenHelp() { return Open(GetHelpFilePath()); }

    // Whether the opener was looked for and not found.
    bool HasFailed() const { return m_eState == EState::kMissing; }

  private:
    enum class EState { kUnknown, kFound, kMissing };
    std::string m_strOpener;
    std::string m_strOpenerPath;
    EState m_eState = EState::kUnknown;
};
