// The console API by its Windows names and types. On Windows this is the
// system's own; elsewhere the same names are declared in posix/ (types in
// windows_types.h, functions in console_api.h and event_object.h) and served
// by our console host (posix/console_api.cpp, posix/event_object.cpp).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/console_api.h"
#include "platform/posix/event_object.h"
#endif
