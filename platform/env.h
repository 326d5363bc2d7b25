// The platform interface in one place: everything the logic asks of the operating system. Each
// seam is a header of its own, implemented once per platform (*_posix.cpp now, *_win32.cpp on
// Windows) and picked by CMake:
//   file.h           files read from start to end, the replacing file (atomic rename), removal
//   clock.h          the monotonic clock
//   module.h         the running module's own path and name
//   module_loader.h  loading a module and finding its symbols (the hosts use it)
//   desktop.h        opening an address with the desktop's opener, the clipboard
// Code above platform/ may include this header or the one seam it needs.
#pragma once

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/file.h"
#include "platform/module.h"
#include "platform/module_loader.h"
