# Cross-build for 64-bit Windows with Debian's mingw-w64 (scripts/setup-windows.sh installs it).
#
# Compilers: the posix thread model (x86_64-w64-mingw32-g++-posix), since GCC 12's win32 model has
# no std::thread or std::mutex. The runtime (libgcc, libstdc++, winpthread) is linked statically,
# so the DLL and the programs need no DLL beyond the ones Windows itself ships.
#
# Libraries built for the target (JsonCpp) are looked up in LOCANYM_WINDOWS_DEPS, by default
# ${LOCANYM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/locanym/windows}/prefix, both for
# find_package (jsoncppConfig.cmake) and for pkg-config (jsoncpp.pc). Programs run through Wine
# (cmake/wine-run.sh) wherever CMake or ctest runs a target program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LOCANYM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LOCANYM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LOCANYM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LOCANYM_MINGW_TRIPLE}-windres)
# The "-posix" suffix hides the triple from CMake's own guess of the binutils' names.
set(CMAKE_AR ${LOCANYM_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LOCANYM_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_NM ${LOCANYM_MINGW_TRIPLE}-gcc-nm-posix CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${LOCANYM_MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_STRIP ${LOCANYM_MINGW_TRIPLE}-strip CACHE FILEPATH "")

if(NOT LOCANYM_WINDOWS_DEPS)
  if(DEFINED ENV{LOCANYM_WINDOWS_CACHE})
    set(_locanym_cache "$ENV{LOCANYM_WINDOWS_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(_locanym_cache "$ENV{XDG_CACHE_HOME}/locanym/windows")
  else()
    set(_locanym_cache "$ENV{HOME}/.cache/locanym/windows")
  endif()
  set(LOCANYM_WINDOWS_DEPS "${_locanym_cache}/prefix"
      CACHE PATH "Prefix of the libraries cross-built for Windows (scripts/setup-windows.sh)")
endif()
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LOCANYM_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${LOCANYM_MINGW_TRIPLE} ${LOCANYM_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${LOCANYM_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see only the target's .pc files, never the Linux ones in /usr/lib.
set(ENV{PKG_CONFIG_LIBDIR} "${LOCANYM_WINDOWS_DEPS}/lib/pkgconfig:${LOCANYM_WINDOWS_DEPS}/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
