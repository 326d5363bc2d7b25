// Version record of a module file.
#pragma once

#include <cstdint>

// <windows.h>, when included before this header, maps this name to GetFileVersionInfoW, which
// would rename the member below in that file alone.
#ifdef GetFileVersionInfo
#undef GetFileVersionInfo
#endif

class CModuleVersion {
  public:
    virtual ~CModuleVersion() = default;
    // Reads the version record of the named module, or of the plug-in itself when pszModule is
    // null. True when a valid record was read; false leaves every field 0.
    bool GetFileVersionInfo(const wchar_t* pszModule);

    uint32_t dwProductVersionMS = 0;
    uint32_t dwProductVersionLS = 0;
    uint32_t dwFileVersionMS = 0;
    uint32_t dwFileVersionLS = 0;
};
