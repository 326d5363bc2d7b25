#include "platform/module_version.h"

// The plug-in's own version is the project's version, handed in by the build, so the module,
// the reference host and the package always say the same. Other modules carry no version
// record on this platform.
bool CModuleVersion::GetFileVersionInfo(const wchar_t* pszModule) {
    dwProductVersionMS = dwProductVersionLS = dwFileVersionMS = dwFileVersionLS = 0;
#if defined(LOCANYM_VERSION_MAJOR) && defined(LOCANYM_VERSION_MINOR) && \
    defined(LOCANYM_VERSION_PATCH)
    if (pszModule) return false;
    dwProductVersionMS = dwFileVersionMS =
        (uint32_t{LOCANYM_VERSION_MAJOR} << 16) | uint32_t{LOCANYM_VERSION_MINOR};
    dwProductVersionLS = dwFileVersionLS = uint32_t{LOCANYM_VERSION_PATCH} << 16;
    return true;
#else
    (void)pszModule;
    return false;
#endif
}
