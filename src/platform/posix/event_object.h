// Event objects by their Windows names, for platforms that lack them.
// Reached through platform/console_api.h.
#pragma once

#include "platform/posix/windows_types.h"

// Events, as far as the tool uses them: unnamed, auto-reset (one wait takes
// the signal), no security attributes. Waits run on the host's clock when a
// host is attached.
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    const char* lpName);
BOOL SetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL CloseHandle(HANDLE hObject);
