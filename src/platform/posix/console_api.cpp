// The console API on POSIX without a console: every standard handle is "not a
// console", so console calls fail as Windows fails them on redirected handles,
// WriteFile writes to the descriptor, and Sleep and Beep take real time.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/console_api.h"

namespace {

// Standard handles are small non-null values that name descriptors 0, 1 and 2.
HANDLE handle_for_descriptor(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x10 + 4 * fd));
}

int descriptor_for_handle(HANDLE handle) {
  const auto value = reinterpret_cast<std::intptr_t>(handle);
  if (value < 0x10 || value > 0x18 || value % 4 != 0) return -1;
  return static_cast<int>((value - 0x10) / 4);
}

void sleep_milliseconds(DWORD ms) {
  timespec rest{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) == -1 && errno == EINTR) {
  }
}

}  // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
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

BOOL GetConsoleMode(HANDLE, LPDWORD) { return FALSE; }
BOOL SetConsoleMode(HANDLE, DWORD) { return FALSE; }
BOOL PeekConsoleInputA(HANDLE, INPUT_RECORD*, DWORD, LPDWORD) { return FALSE; }
BOOL ReadConsoleInputA(HANDLE, INPUT_RECORD*, DWORD, LPDWORD) { return FALSE; }
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) { return TRUE; }
UINT MapVirtualKeyA(UINT, UINT) { return 0; }
BOOL GetConsoleScreenBufferInfo(HANDLE, CONSOLE_SCREEN_BUFFER_INFO*) { return FALSE; }
BOOL WriteConsoleOutputA(HANDLE, const CHAR_INFO*, COORD, COORD, SMALL_RECT*) { return FALSE; }
BOOL ScrollConsoleScreenBufferA(HANDLE, const SMALL_RECT*, const SMALL_RECT*, COORD,
                                const CHAR_INFO*) {
  return FALSE;
}
BOOL FillConsoleOutputAttribute(HANDLE, WORD, DWORD, COORD, LPDWORD) { return FALSE; }
BOOL FillConsoleOutputCharacterA(HANDLE, CHAR, DWORD, COORD, LPDWORD) { return FALSE; }
BOOL SetConsoleCursorPosition(HANDLE, COORD) { return FALSE; }
BOOL SetConsoleWindowInfo(HANDLE, BOOL, const SMALL_RECT*) { return FALSE; }
BOOL GetConsoleCursorInfo(HANDLE, CONSOLE_CURSOR_INFO*) { return FALSE; }
BOOL SetConsoleCursorInfo(HANDLE, const CONSOLE_CURSOR_INFO*) { return FALSE; }

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  const int fd = descriptor_for_handle(hFile);
  if (fd < 0) return FALSE;
  ssize_t written = -1;
  do {
    written = write(fd, lpBuffer, nNumberOfBytesToWrite);
  } while (written == -1 && errno == EINTR);
  if (written < 0) return FALSE;
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(written);
  return TRUE;
}

void Sleep(DWORD dwMilliseconds) { sleep_milliseconds(dwMilliseconds); }

BOOL Beep(DWORD, DWORD dwDuration) {
  sleep_milliseconds(dwDuration);
  return TRUE;
}
