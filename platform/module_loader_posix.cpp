#include <dlfcn.h>

#include "platform/module_loader.h"

CModuleLoader::~CModuleLoader() {
    Unload();
}

bool CModuleLoader::Load(const std::string& strPath, std::string& strError) {
    Unload();
    // A bare file name would make dlopen search the library path instead of this file.
    const std::string strFile = strPath.find('/') == std::string::npos ? "./" + strPath : strPath;
    dlerror();
    m_hModule = dlopen(strFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_hModule) {
        const char* pszReason = dlerror();
        strError = pszReason ? pszReason : "unknown reason";
        return false;
    }
    return true;
}

void* CModuleLoader::FindSymbol(const char* pszName) const {
    return m_hModule ? dlsym(m_hModule, pszName) : nullptr;
}

void CModuleLoader::Unload() {
    if (m_hModule) dlclose(m_hModule);
    m_hModule = nullptr;
}
