// Version record of a module file. The build embeds one in the plug-in (product version from
// the project's version); CModuleVersion reads it back from the module's file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// <windows.h>, when included before this header, maps this name to GetFileVersionInfoW, which
// would rename the member below in that file alone.
#ifdef GetFileVersionInfo
#undef GetFileVersionInfo
#endif

// The fixed version fields, in their usual order.
struct CFixedVersionInfo {
    uint32_t dwSignature = 0;  // kVersionSignature in a valid record
    uint32_t dwStrucVersion = 0;
    uint32_t dwFileVersionMS = 0;
    uint32_t dwFileVersionLS = 0;
    uint32_t dwProductVersionMS = 0;
    uint32_t dwProductVersionLS = 0;
    uint32_t dwFileFlagsMask = 0;
    uint32_t dwFileFlags = 0;
    uint32_t dwFileOS = 0;
    uint32_t dwFileType = 0;
    uint32_t dwFileSubtype = 0;
    uint32_t dwFileDateMS = 0;
    uint32_t dwFileDateLS = 0;
};

constexpr uint32_t kVersionSignature = 0xFEEF04BD;

class CModuleVersion : public CFixedVersionInfo {
  public:
    virtual ~CModuleVersion() = default;
    // Reads the version record of the named loaded module (file name, with or without folder),
    // or of the plug-in itself when pszModule is null. True when a valid record was read; false
    // leaves every field 0. A name that is not loaded gives false without opening any file.
    bool GetFileVersionInfo(const wchar_t* pszModule);
};

// "Locanym v1.0.1" from the plug-in's own record, "Locanym Unknown version" without one: the
// answer to the host's version message.
std::wstring GetVersionMessageText();

// strCaption followed by " 1.0.1" from the plug-in's own record; strCaption unchanged without
// one. The main dialog's title.
std::wstring AppendVersionToCaption(const std::wstring& strCaption);

// Reads section pszSection of the module file named pszModule (null: the module holding this
// code) into bytes, at most nMaxSize of them. A module name is matched against the loaded
// modules' file names (with or without folder) only: a name that is not loaded gives false
// without any file being opened. False also when the file or the section cannot be read.
bool ReadModuleSection(const wchar_t* pszModule, const char* pszSection, size_t nMaxSize,
                       std::vector<uint8_t>& bytes);
