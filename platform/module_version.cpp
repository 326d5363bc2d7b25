#include "platform/module_version.h"

// The module carries no version record yet.
bool CModuleVersion::GetFileVersionInfo(const wchar_t*) {
    dwProductVersionMS = dwProductVersionLS = dwFileVersionMS = dwFileVersionLS = 0;
    return false;
}
