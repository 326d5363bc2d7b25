#include <windows.h>
// The headers below need windows.h first.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "base/text.h"
#include "host/host_platform.h"
#include "platform/file_handle_win32.h"
#include "platform/system_error_win32.h"

namespace fs = std::filesystem;

const char kModuleFileName[] = "Locanym.dll";

namespace {

// "context: text" in UTF-8 for a GetLastError code.
std::string Win32Error(const std::string& strContext, DWORD dwError) {
    return WideToUtf8(::Win32Error(Utf8ToWide(strContext), dwError));
}

std::function<void()> g_fnOnInterrupt;
std::function<void()> g_fnBeforeQuit;
LONG g_nInterrupts = 0;

BOOL WINAPI OnConsoleControl(DWORD dwType) {
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT && dwType != CTRL_CLOSE_EVENT)
        return FALSE;
    if (InterlockedIncrement(&g_nInterrupts) > 1) {
        if (g_fnBeforeQuit) g_fnBeforeQuit();
        ExitProcess(130);
    }
    // The system calls this on a thread of its own; the work gets another so this returns.
    std::thread([] { g_fnOnInterrupt(); }).detach();
    return TRUE;
}

}  // namespace

bool CModuleHandle::Load(const fs::path& file, std::string& strError) {
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        strError = "module not found: " + WideToUtf8(file.wstring());
        return false;
    }
    fs::path absolute = fs::absolute(file, ec);
    if (ec) absolute = file;
    std::string strReason;
    if (!m_loader.Load(WideToUtf8(absolute.wstring()), strReason)) {
        strError = "cannot load module " + WideToUtf8(file.wstring()) + ": " + strReason;
        return false;
    }
    m_pfnHandler = reinterpret_cast<SldPlugInMsgHandler>(m_loader.FindSymbol(SLD_ENTRY_POINT_NAME));
    if (!m_pfnHandler) {
        strError = WideToUtf8(file.wstring()) + " is not a plug-in module: it does not export " +
                   SLD_ENTRY_POINT_NAME;
        m_loader.Unload();
        return false;
    }
    return true;
}

fs::path ExecutableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD nLength =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (nLength == 0) return fs::path();
        if (nLength < buffer.size())
            return fs::path(std::wstring(buffer.data(), nLength)).parent_path();
        if (buffer.size() >= 32768) return fs::path();
        buffer.resize(buffer.size() * 2);
    }
}

fs::path HomeFolder() {
    std::string strHome = EnvironmentValue("USERPROFILE");
    return strHome.empty() ? fs::path() : fs::path(Utf8ToWide(strHome));
}

std::string EnvironmentValue(const char* pszName) {
    const std::wstring strName = Utf8ToWide(pszName);
    const DWORD nNeeded = GetEnvironmentVariableW(strName.c_str(), nullptr, 0);
    if (nNeeded == 0) return std::string();
    std::vector<wchar_t> buffer(nNeeded);
    const DWORD nLength = GetEnvironmentVariableW(strName.c_str(), buffer.data(), nNeeded);
    if (nLength == 0 || nLength >= nNeeded) return std::string();
    return WideToUtf8(std::wstring_view(buffer.data(), nLength));
}

bool PrepareWritableFolder(const fs::path& folder, std::string& strError) {
    std::error_code ec;
    const std::string strFolder = WideToUtf8(folder.wstring());
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        strError = "data folder " + strFolder + " is not a folder";
        return false;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        strError = "cannot create data folder " + strFolder + ": " + ec.message();
        return false;
    }
    wchar_t szProbe[MAX_PATH] = {0};
    if (GetTempFileNameW(folder.wstring().c_str(), L"lhp", 0, szProbe) == 0) {
        strError = Win32Error("cannot write in data folder " + strFolder, GetLastError());
        return false;
    }
    DeleteFileW(szProbe);
    return true;
}

CFolderLock::~CFolderLock() {
    // Closing the file releases the lock.
    if (m_fd >= 0) _close(m_fd);
}

bool CFolderLock::Lock(const fs::path& folder, std::string& strError) {
    // A folder cannot be locked on Windows: a lock file inside it stands for it.
    const fs::path lockFile = folder / L".locanym-host.lock";
    HANDLE h = CreateFileW(lockFile.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        strError = Win32Error("cannot open the lock of data folder " + WideToUtf8(folder.wstring()),
                              GetLastError());
        return false;
    }
    // The C runtime's descriptor owns the handle from here on, as the member's type asks.
    m_fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
    if (m_fd < 0) {
        CloseHandle(h);
        strError = "cannot lock data folder " + WideToUtf8(folder.wstring());
        return false;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        strError =
            Win32Error("cannot lock data folder " + WideToUtf8(folder.wstring()), GetLastError());
        return false;
    }
    return true;
}

bool WriteFileAtomically(const fs::path& file, const std::string& strContent,
                         std::string& strError) {
    const std::wstring strTarget = file.wstring();
    const std::string strName = WideToUtf8(strTarget);
    // Each writer gets a name of its own, so two hosts on one data folder never write into each
    // other's file; CREATE_NEW never opens one that exists, and a name taken is drawn again. The
    // data folder lies in the user's own profile, which only that user can read.
    static thread_local std::mt19937_64 random(std::random_device{}() ^
                                               static_cast<uint64_t>(GetCurrentProcessId()) << 32 ^
                                               static_cast<uint64_t>(GetTickCount64()));
    constexpr int kMaxTries = 16;
    std::wstring strTemp;
    CFileHandle temp(INVALID_HANDLE_VALUE);
    DWORD dwOpenError = ERROR_FILE_EXISTS;
    for (int nTry = 0; nTry < kMaxTries && !temp.IsValid(); ++nTry) {
        wchar_t szPart[24];
        std::swprintf(szPart, ARRAYSIZE(szPart), L".tmp-%016llx",
                      static_cast<unsigned long long>(random()));
        strTemp = strTarget + szPart;
        temp.Reset(CreateFileW(strTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        dwOpenError = temp.IsValid() ? 0 : GetLastError();
        if (dwOpenError != 0 && dwOpenError != ERROR_FILE_EXISTS &&
            dwOpenError != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!temp.IsValid()) {
        strError = Win32Error("cannot create a file beside " + strName, dwOpenError);
        return false;
    }
    bool bOk = true;
    size_t nDone = 0;
    while (bOk && nDone < strContent.size()) {
        const size_t nLeft = strContent.size() - nDone;
        DWORD nWritten = 0;
        bOk = WriteFile(temp.Get(), strContent.data() + nDone,
                        static_cast<DWORD>(nLeft < (1u << 30) ? nLeft : (1u << 30)), &nWritten,
                        nullptr) != FALSE;
        nDone += nWritten;
    }
    bOk = bOk && FlushFileBuffers(temp.Get());
    DWORD dwError = bOk ? 0 : GetLastError();
    if (!temp.Close() && bOk) {
        bOk = false;
        dwError = GetLastError();
    }
    // Another writer replacing the same file at this moment (or a reader holding it without
    // delete sharing) makes the rename fail with a denial for a moment: try again briefly.
    constexpr int kMaxRenames = 50;
    constexpr DWORD kRenamePauseMs = 10;
    for (int nTry = 0; bOk; ++nTry) {
        if (MoveFileExW(strTemp.c_str(), strTarget.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        dwError = GetLastError();
        if (nTry + 1 >= kMaxRenames ||
            (dwError != ERROR_ACCESS_DENIED && dwError != ERROR_SHARING_VIOLATION))
            bOk = false;
        else
            Sleep(kRenamePauseMs);
    }
    if (!bOk) {
        DeleteFileW(strTemp.c_str());
        strError = Win32Error("cannot write " + strName, dwError);
        return false;
    }
    return true;
}

namespace {

const std::string kNotRegular = " is not a regular file; move it away or give another path";

bool IsMissingError(DWORD dwError) {
    return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
}

// A disk file that is no folder; pipes, consoles and devices are refused.
bool IsRegularHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool ReadRegularFile(const fs::path& file, std::string& strContent, bool& bMissing,
                     std::string& strError) {
    strContent.clear();
    bMissing = false;
    const std::string strName = WideToUtf8(file.wstring());
    CFileHandle in(CreateFileW(file.wstring().c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.IsValid()) {
        const DWORD dwError = GetLastError();
        if (IsMissingError(dwError)) {
            bMissing = true;
            return true;
        }
        // A folder cannot be opened this way: it fails as access denied.
        const DWORD dwAttributes = GetFileAttributesW(file.wstring().c_str());
        if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
            (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            strError = strName + kNotRegular;
        else
            strError = Win32Error("cannot read " + strName, dwError);
        return false;
    }
    if (!IsRegularHandle(in.Get())) {
        strError = strName + kNotRegular;
        return false;
    }
    char buffer[65536];
    for (;;) {
        DWORD nRead = 0;
        if (!ReadFile(in.Get(), buffer, sizeof buffer, &nRead, nullptr)) {
            strError = Win32Error("cannot read " + strName, GetLastError());
            return false;
        }
        if (nRead == 0) return true;
        strContent.append(buffer, nRead);
    }
}

bool IsRegularOrMissing(const fs::path& file, std::string& strError) {
    const DWORD dwAttributes = GetFileAttributesW(file.wstring().c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD dwError = GetLastError();
        if (IsMissingError(dwError)) return true;
        strError = Win32Error("cannot look at " + WideToUtf8(file.wstring()), dwError);
        return false;
    }
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
    strError = WideToUtf8(file.wstring()) + kNotRegular;
    return false;
}

CAppendFile::~CAppendFile() {
    if (m_fd >= 0) _close(m_fd);
}

bool CAppendFile::Open(const fs::path& file, std::string& strError) {
    // Append access only: every write then lands at the end of the file as one piece, also
    // when another process appends to the same log.
    HANDLE h = CreateFileW(file.wstring().c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string strName = WideToUtf8(file.wstring());
    const std::string strNotRegular = "cannot open log file " + strName +
                                      ": it is not a regular file (use --log - for standard error)";
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD dwError = GetLastError();
        const DWORD dwAttributes = GetFileAttributesW(file.wstring().c_str());
        strError = dwAttributes != INVALID_FILE_ATTRIBUTES &&
                           (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                       ? strNotRegular
                       : Win32Error("cannot open log file " + strName, dwError);
        return false;
    }
    if (!IsRegularHandle(h)) {
        CloseHandle(h);
        strError = strNotRegular;
        return false;
    }
    // The C runtime's descriptor owns the handle from here on, as the member's type asks.
    m_fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND);
    if (m_fd < 0) {
        CloseHandle(h);
        strError = "cannot open log file " + strName;
        return false;
    }
    return true;
}

bool CAppendFile::Append(const std::string& strText) {
    if (m_fd < 0) return false;
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    size_t nDone = 0;
    while (nDone < strText.size()) {
        const size_t nLeft = strText.size() - nDone;
        DWORD nWritten = 0;
        if (!WriteFile(h, strText.data() + nDone,
                       static_cast<DWORD>(nLeft < (1u << 30) ? nLeft : (1u << 30)), &nWritten,
                       nullptr) ||
            nWritten == 0)
            return false;
        nDone += nWritten;
    }
    return true;
}

std::string LocalTimestamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char szText[32] = "";
    std::snprintf(szText, sizeof szText, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return szText;
}

fs::path CurrentFolder() {
    std::error_code ec;
    fs::path folder = fs::current_path(ec);
    return ec ? fs::path() : folder;
}

bool IsStderrTerminal() {
    DWORD dwMode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &dwMode) != FALSE;
}

void KeepRunningWhenOutputCloses() {
    // A write to a closed pipe fails here anyway; no signal ends the process.
}

void WatchForInterrupt(std::function<void()> fnOnInterrupt, std::function<void()> fnBeforeQuit) {
    g_fnOnInterrupt = std::move(fnOnInterrupt);
    g_fnBeforeQuit = std::move(fnBeforeQuit);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}
