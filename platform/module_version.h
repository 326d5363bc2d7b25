// Reading a named ELF section back from the file of a loaded module: how a module finds the
// version record that the build embedded in it.
#pragma once

#include <cstdint>
#include <vector>

// Reads section pszSection of the module file named pszModule (null: the module holding this
// code) into bytes, at most nMaxSize of them. A module name is matched against the loaded
// modules' file names (with or without folder) only: a name that is not loaded gives false
// without any file being opened. False also when the file or the section cannot be read.
bool ReadModuleSection(const wchar_t* pszModule, const char* pszSection, size_t nMaxSize,
                       std::vector<uint8_t>& bytes);
