#include "platform/help.h"

#include "platform/module.h"

std::wstring GetHelpFilePath() {
    std::wstring strPath = GetOwnModulePath();
    const size_t nSlash = strPath.find_last_of(L"/\\");
    if (nSlash == std::wstring::npos) return std::wstring();
    return strPath.substr(0, nSlash + 1) + kHelpFileName;
}
