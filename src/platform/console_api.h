// The console API by its Windows names and types. On Windows this is the
// system's own; elsewhere the same names are declared here and served by our
// console host (see platform/posix/console_api.cpp).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/windows_types.h"
#endif
