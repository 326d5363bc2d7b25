// What the reference host needs from the operating system: loading the module, folders, files
// written atomically, the terminal, and interruption by the user. Failures come back as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "base/host_api.h"
#include "platform/module_loader.h"

// File name of the plug-in module on this platform: "Locanym.so", "Locanym.dll".
extern const char kModuleFileName[];

// A loaded plug-in module. Unloads it on destruction; copying is not allowed.
class CModuleHandle {
  public:
    CModuleHandle() = default;
    CModuleHandle(const CModuleHandle&) = delete;
    CModuleHandle& operator=(const CModuleHandle&) = delete;

    // Loads the module file and finds its entry point. False with the reason in strError when
    // the file is missing, is not a loadable module, or does not export the entry point.
    bool Load(const std::filesystem::path& file, std::string& strError);
    SldPlugInMsgHandler Handler() const { return m_pfnHandler; }

  private:
    CModuleLoader m_loader;
    SldPlugInMsgHandler m_pfnHandler = nullptr;
};

// Folder of the running executable; empty when it cannot be found.
std::filesystem::path ExecutableFolder();
// The user's home folder; empty when unknown.
std::filesystem::path HomeFolder();
// Value of an environment variable; empty when unset.
std::string EnvironmentValue(const char* pszName);

// Creates the folder (and its parents) when missing and proves that a file can be created in
// it. False with the reason in strError.
bool PrepareWritableFolder(const std::filesystem::path& folder, std::string& strError);

// An exclusive advisory lock on a folder, held until destruction, so that two runs of the host
// that change settings one after the other never lose each other's change.
class CFolderLock {
  public:
    CFolderLock() = default;
    ~CFolderLock();
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;
    // Waits while another process holds the lock. False with the reason in strError.
    bool Lock(const std::filesystem::path& folder, std::string& strError);

  private:
    int m_fd = -1;
};

// Replaces the file's content so that a crash at any moment leaves either the old or the new
// content: writes a temporary file beside it, flushes it to disk, renames it over the file.
// The file is readable by its owner only (it holds API keys).
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& strContent,
                         std::string& strError);

// Reads a whole settings file. A missing file gives bMissing and an empty text. Anything that is
// not a regular file (a FIFO, a device, a folder) is refused at once, never opened to wait.
bool ReadRegularFile(const std::filesystem::path& file, std::string& strContent, bool& bMissing,
                     std::string& strError);

// False with the reason when the path names something that is not a regular file. A missing
// path is fine. Looks without opening, so a FIFO never blocks.
bool IsRegularOrMissing(const std::filesystem::path& file, std::string& strError);

// A log file opened for appending (created 0600 when missing). Only a regular file is taken; a
// FIFO or a device is refused without waiting for a reader. Closed on destruction.
class CAppendFile {
  public:
    CAppendFile() = default;
    ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;
    bool Open(const std::filesystem::path& file, std::string& strError);
    bool IsOpen() const { return m_fd >= 0; }
    // Appends the text in one write, so that lines of two processes never interleave.
    bool Append(const std::string& strText);

  private:
    int m_fd = -1;
};

// The local time as "YYYY-MM-DD hh:mm:ss".
std::string LocalTimestamp();

// The current folder; empty when it cannot be found.
std::filesystem::path CurrentFolder();

bool IsStderrTerminal();

// A write to a pipe whose reader has gone fails (EPIPE) instead of ending the process, so
// that the host can stop the show, save the cache and write the whole log.
void KeepRunningWhenOutputCloses();

// Runs fnOnInterrupt on a thread of its own when the user first asks to stop (Ctrl-C or
// SIGTERM); a second request runs fnBeforeQuit (which must return soon; may be empty) and ends
// the process at once with status 130. Call before any other thread starts.
void WatchForInterrupt(std::function<void()> fnOnInterrupt, std::function<void()> fnBeforeQuit);
