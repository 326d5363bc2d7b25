// Facts about the running plug-in module itself.
#pragma once

#include <string>

// Full path of the module file that holds this code (the plug-in .so or .dll); empty when the
// platform cannot tell. For a static test binary it is the executable.
std::wstring GetOwnModulePath();

// The module's file name without folder and extension: "Locanym" for Locanym.so. This is the
// application name that heads the cache file.
std::wstring GetOwnModuleName();
