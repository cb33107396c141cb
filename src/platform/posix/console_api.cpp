// The console API on POSIX. With a console host attached every call goes to
// it (Sleep and Beep then run on its virtual clock). Without one, every
// standard handle is "not a console": console calls fail as Windows fails them
// on redirected handles, WriteFile writes to the descriptor, and Sleep and
// Beep take real time. MapVirtualKeyA answers from the US layout either way.
// An attached front end (the terminal) hears of every call that may change
// the screen and is called before input calls and waits.
#include "platform/posix/console_api.h"

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/host_handles.h"
#include "platform/host/key_map.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/descriptor_write.h"

using veltrane::host::attached_console_host;
using veltrane::platform::ConsoleFrontEnd;

namespace {

std::atomic<ConsoleFrontEnd*> attached_front_end{nullptr};

// Passes a call's result through after telling the front end that the
// screen may have changed.
BOOL screen_call(BOOL result) {
  if (ConsoleFrontEnd* attached = attached_front_end.load()) attached->screen_changed();
  return result;
}

void before_input(bool wait) {
  if (ConsoleFrontEnd* attached = attached_front_end.load()) attached->before_input(wait);
}

void before_wait() {
  if (ConsoleFrontEnd* attached = attached_front_end.load()) attached->before_wait();
}

// Standard handles are small non-null values that name descriptors 0, 1 and 2.
HANDLE handle_for_descriptor(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x10 + 4 * fd));
}

int descriptor_for_handle(HANDLE handle) {
  const auto value = reinterpret_cast<std::intptr_t>(handle);
  if (value < 0x10 || value > 0x18 || value % 4 != 0) return -1;
  return static_cast<int>((value - 0x10) / 4);
}

BOOL write_descriptor(int fd, LPCVOID bytes, DWORD count, LPDWORD written_count) {
  if (written_count != nullptr) *written_count = 0;
  if (fd < 0) return FALSE;
  const ssize_t written = veltrane::platform::write_waiting(fd, bytes, count);
  if (written < 0) return FALSE;
  if (written_count != nullptr) *written_count = static_cast<DWORD>(written);
  return TRUE;
}

void sleep_milliseconds(DWORD ms) {
  timespec rest{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) == -1 && errno == EINTR) {
  }
}

}  // namespace

void veltrane::platform::attach_console_front_end(ConsoleFrontEnd* front_end) {
  attached_front_end.store(front_end);
}

void veltrane::platform::before_console_wait() { before_wait(); }

HANDLE GetStdHandle(DWORD nStdHandle) {
  if (auto* host = attached_console_host()) return host->GetStdHandle(nStdHandle);
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return handle_for_descriptor(0);
    case STD_OUTPUT_HANDLE:
      return handle_for_descriptor(1);
    case STD_ERROR_HANDLE:
      return handle_for_descriptor(2);
    default:
      return INVALID_HANDLE_VALUE;
  }
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  if (auto* host = attached_console_host()) return host->GetConsoleMode(hConsoleHandle, lpMode);
  return FALSE;
}

BOOL SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode) {
  if (auto* host = attached_console_host()) return host->SetConsoleMode(hConsoleHandle, dwMode);
  return FALSE;
}

BOOL PeekConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                       LPDWORD lpNumberOfEventsRead) {
  if (auto* host = attached_console_host()) {
    before_input(false);
    return host->PeekConsoleInputA(hConsoleInput, lpBuffer, nLength, lpNumberOfEventsRead);
  }
  return FALSE;
}

BOOL ReadConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                       LPDWORD lpNumberOfEventsRead) {
  if (auto* host = attached_console_host()) {
    before_input(true);
    return host->ReadConsoleInputA(hConsoleInput, lpBuffer, nLength, lpNumberOfEventsRead);
  }
  return FALSE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
  if (auto* host = attached_console_host()) return host->SetConsoleCtrlHandler(HandlerRoutine, Add);
  return TRUE;
}

UINT MapVirtualKeyA(UINT uCode, UINT uMapType) {
  if (auto* host = attached_console_host()) return host->MapVirtualKeyA(uCode, uMapType);
  return veltrane::host::map_virtual_key(uCode, uMapType);
}

BOOL GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                CONSOLE_SCREEN_BUFFER_INFO* lpConsoleScreenBufferInfo) {
  if (auto* host = attached_console_host()) {
    return host->GetConsoleScreenBufferInfo(hConsoleOutput, lpConsoleScreenBufferInfo);
  }
  return FALSE;
}

BOOL WriteConsoleOutputA(HANDLE hConsoleOutput, const CHAR_INFO* lpBuffer, COORD dwBufferSize,
                         COORD dwBufferCoord, SMALL_RECT* lpWriteRegion) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->WriteConsoleOutputA(hConsoleOutput, lpBuffer, dwBufferSize,
                                                 dwBufferCoord, lpWriteRegion));
  }
  return FALSE;
}

BOOL ScrollConsoleScreenBufferA(HANDLE hConsoleOutput, const SMALL_RECT* lpScrollRectangle,
                                const SMALL_RECT* lpClipRectangle, COORD dwDestinationOrigin,
                                const CHAR_INFO* lpFill) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->ScrollConsoleScreenBufferA(
        hConsoleOutput, lpScrollRectangle, lpClipRectangle, dwDestinationOrigin, lpFill));
  }
  return FALSE;
}

BOOL FillConsoleOutputAttribute(HANDLE hConsoleOutput, WORD wAttribute, DWORD nLength,
                                COORD dwWriteCoord, LPDWORD lpNumberOfAttrsWritten) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->FillConsoleOutputAttribute(hConsoleOutput, wAttribute, nLength,
                                                        dwWriteCoord, lpNumberOfAttrsWritten));
  }
  return FALSE;
}

BOOL FillConsoleOutputCharacterA(HANDLE hConsoleOutput, CHAR cCharacter, DWORD nLength,
                                 COORD dwWriteCoord, LPDWORD lpNumberOfCharsWritten) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->FillConsoleOutputCharacterA(hConsoleOutput, cCharacter, nLength,
                                                         dwWriteCoord, lpNumberOfCharsWritten));
  }
  return FALSE;
}

BOOL SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->SetConsoleCursorPosition(hConsoleOutput, dwCursorPosition));
  }
  return FALSE;
}

BOOL SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute,
                          const SMALL_RECT* lpConsoleWindow) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->SetConsoleWindowInfo(hConsoleOutput, bAbsolute, lpConsoleWindow));
  }
  return FALSE;
}

BOOL GetConsoleCursorInfo(HANDLE hConsoleOutput, CONSOLE_CURSOR_INFO* lpConsoleCursorInfo) {
  if (auto* host = attached_console_host()) {
    return host->GetConsoleCursorInfo(hConsoleOutput, lpConsoleCursorInfo);
  }
  return FALSE;
}

BOOL SetConsoleCursorInfo(HANDLE hConsoleOutput, const CONSOLE_CURSOR_INFO* lpConsoleCursorInfo) {
  if (auto* host = attached_console_host()) {
    return screen_call(host->SetConsoleCursorInfo(hConsoleOutput, lpConsoleCursorInfo));
  }
  return FALSE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (auto* host = attached_console_host()) {
    // Redirected standard output of a real process goes to its descriptor.
    if (attached_front_end.load() != nullptr && hFile == veltrane::host::kFileOutputHandle) {
      return write_descriptor(1, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
    }
    return screen_call(host->WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite,
                                       lpNumberOfBytesWritten, lpOverlapped));
  }
  return write_descriptor(descriptor_for_handle(hFile), lpBuffer, nNumberOfBytesToWrite,
                          lpNumberOfBytesWritten);
}

void Sleep(DWORD dwMilliseconds) {
  if (auto* host = attached_console_host()) {
    before_wait();
    host->Sleep(dwMilliseconds);
    return;
  }
  sleep_milliseconds(dwMilliseconds);
}

DWORD GetTickCount() {
  if (auto* host = attached_console_host()) return host->GetTickCount();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // The count wraps as Windows' does, every 49.7 days.
  return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000U);
}

// Real time even with a host attached: it hands the processor to another thread.
BOOL SwitchToThread() { return sched_yield() == 0 ? TRUE : FALSE; }

BOOL Beep(DWORD dwFreq, DWORD dwDuration) {
  if (auto* host = attached_console_host()) {
    before_wait();
    return host->Beep(dwFreq, dwDuration);
  }
  sleep_milliseconds(dwDuration);
  return TRUE;
}
