// Marks the module's entry point as exported: the only symbol a host may look up.
#pragma once

#if defined(_WIN32)
#define LOCANYM_EXPORT extern "C" __declspec(dllexport)
#else
#define LOCANYM_EXPORT extern "C" __attribute__((visibility("default")))
#endif
