#include <exception>
#include <vector>

#include "cache/cache_file.h"
#include "core/app.h"
#include "core/log.h"
#include "platform/file.h"
#include "platform/module.h"

namespace {

const wchar_t kCacheFileName[] = L"LocanymPlg";
const wchar_t kCacheFileExtension[] = L".lst";
const wchar_t kSlideShowSuffix[] = L"_SS";

// The file-name part of a path: after the last slash or backslash, before the last point.
std::wstring FileTitle(const std::wstring& strPath) {
    const size_t slash = strPath.find_last_of(L"/\\");
    std::wstring strName = slash == std::wstring::npos ? strPath : strPath.substr(slash + 1);
    const size_t dot = strName.find_last_of(L'.');
    if (dot != std::wstring::npos) strName.erase(dot);
    return strName;
}

}  // namespace

void CLocanymApp::MakeCachePath() {
    // One character more than the capacity told to the host, so a host that fills the buffer
    // without a NUL still leaves a terminated text.
    std::vector<wchar_t> showPath(kCachePathCapacity + 1, L'\0');
    const auto nFound = static_cast<int32_t>(
        CallHost(kCbCachePath, reinterpret_cast<uintptr_t>(showPath.data()), kCachePathCapacity));
    const std::wstring strShowPath(showPath.data());
    std::wstring strSuffix = kSlideShowSuffix;
    if (nFound != 0 && !strShowPath.empty()) {
        const std::wstring strTitle = FileTitle(strShowPath);
        strSuffix = strTitle.empty() ? std::wstring() : L"_" + strTitle;
    }

    std::vector<wchar_t> dataFolder(kDataFolderCapacity + 1, L'\0');
    CallHost(kCbDataFolder, reinterpret_cast<uintptr_t>(dataFolder.data()), kDataFolderCapacity);
    std::wstring strFolder(dataFolder.data());
    if (!strFolder.empty() && strFolder.back() != kPathSeparator) strFolder += kPathSeparator;

    m_strCachePath = strFolder + kCacheFileName + strSuffix + kCacheFileExtension;
}

void CLocanymApp::LoadCache() {
    if (m_strCachePath.empty()) {
        WriteLog(kLogInfo, L"LoadCache, path is empty");
        return;
    }
    try {
        LoadCacheFile(m_strCachePath, GetOwnModuleName(), m_cache);
    } catch (const std::exception& e) {
        WriteLog(kLogError, L">>> Unknown exception in LoadCache: %s", e.what());
    }
}

void CLocanymApp::SaveCache() {
    try {
        SaveCacheFile(m_strCachePath, GetOwnModuleName(), m_cache);
    } catch (const std::exception& e) {
        WriteLog(kLogError, L">>> Unknown exception in SaveCache: %s", e.what());
    }
}

void CLocanymApp::ClearCache() {
    if (m_strCachePath.empty()) return;
    std::wstring strError;
    RemoveFile(m_strCachePath, strError);  // a file that is not there is as good as deleted
    m_cache.RemoveAll();
}
