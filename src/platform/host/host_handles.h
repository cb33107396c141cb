// The handle values the console host hands out. The console handles stay
// consoles; redirection only changes which handle GetStdHandle gives.
#pragma once

#include <cstdint>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

inline HANDLE host_handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

inline const HANDLE kConsoleInputHandle = host_handle(0x03);
inline const HANDLE kConsoleOutputHandle = host_handle(0x07);
inline const HANDLE kFileInputHandle = host_handle(0x100);
inline const HANDLE kFileOutputHandle = host_handle(0x104);

}  // namespace veltrane::host
