// Loading a module (.so or .dll) by path and finding its symbols. The module stays loaded for
// the life of the object; copying is not allowed.
#pragma once

#include <string>

class CModuleLoader {
  public:
    CModuleLoader() = default;
    ~CModuleLoader();
    CModuleLoader(const CModuleLoader&) = delete;
    CModuleLoader& operator=(const CModuleLoader&) = delete;

    // Loads the module file (UTF-8 path; a relative path counts from the current folder, never
    // from the library search path). False with the system's reason in strError.
    bool Load(const std::string& strPath, std::string& strError);
    // The address of an exported symbol, or null when the module has none by that name or
    // nothing is loaded.
    void* FindSymbol(const char* pszName) const;
    // Unloads the module now; nothing happens when none is loaded.
    void Unload();
    bool IsLoaded() const { return m_hModule != nullptr; }

  private:
    void* m_hModule = nullptr;
};
