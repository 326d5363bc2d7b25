#include "cache/cache_path.h"

#include "base/path.h"
#include "platform/file.h"

namespace {
const wchar_t kCacheFileName[] = L"LocanymPlg";
const wchar_t kCacheFileExtension[] = L".lst";
const wchar_t kSlideShowSuffix[] = L"_SS";
}  // namespace

std::wstring MakeCacheFilePath(const std::wstring& strDataFolder, const std::wstring& strShowPath) {
    std::wstring strSuffix = kSlideShowSuffix;
    if (!strShowPath.empty()) {
        // A show whose name is only an extension gets no suffix at all.
        const std::wstring strTitle = PathFileTitle(strShowPath);
        strSuffix = strTitle.empty() ? std::wstring() : L"_" + strTitle;
    }
    std::wstring strFolder = strDataFolder;
    if (!strFolder.empty() && strFolder.back() != kPathSeparator) strFolder += kPathSeparator;
    return strFolder + kCacheFileName + strSuffix + kCacheFileExtension;
}

bool IsCacheFileName(const std::wstring& strFileName) {
    const std::wstring strPrefix = kCacheFileName;
    const std::wstring strExtension = kCacheFileExtension;
    return strFileName.size() >= strPrefix.size() + strExtension.size() &&
           strFileName.compare(0, strPrefix.size(), strPrefix) == 0 &&
           strFileName.compare(strFileName.size() - strExtension.size(), strExtension.size(),
                               strExtension) == 0;
}
