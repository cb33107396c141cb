// The console host's screen-buffer calls and WriteFile.
#include <algorithm>
#include <climits>
#include <string>

#include "platform/host/console_host.h"
#include "platform/host/host_handles.h"

namespace veltrane::host {

namespace {

bool fits_short(int value) { return value >= SHRT_MIN && value <= SHRT_MAX; }

}  // namespace

BOOL ConsoleHost::GetConsoleScreenBufferInfo(
    HANDLE hConsoleOutput, CONSOLE_SCREEN_BUFFER_INFO* lpConsoleScreenBufferInfo) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::GetConsoleScreenBufferInfo)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpConsoleScreenBufferInfo == nullptr) return fail(kErrorInvalidParameter);
  *lpConsoleScreenBufferInfo = {.dwSize = screen_.size(),
                                .dwCursorPosition = screen_.cursor(),
                                .wAttributes = screen_.attributes,
                                .srWindow = screen_.window(),
                                .dwMaximumWindowSize = screen_.maximum_window()};
  return TRUE;
}

BOOL ConsoleHost::WriteConsoleOutputA(HANDLE hConsoleOutput, const CHAR_INFO* lpBuffer,
                                      COORD dwBufferSize, COORD dwBufferCoord,
                                      SMALL_RECT* lpWriteRegion) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::WriteConsoleOutputA)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpBuffer == nullptr || lpWriteRegion == nullptr) return fail(kErrorInvalidParameter);
  *lpWriteRegion = screen_.write_cells(lpBuffer, dwBufferSize, dwBufferCoord, *lpWriteRegion);
  return TRUE;
}

BOOL ConsoleHost::ScrollConsoleScreenBufferA(HANDLE hConsoleOutput,
                                             const SMALL_RECT* lpScrollRectangle,
                                             const SMALL_RECT* lpClipRectangle,
                                             COORD dwDestinationOrigin, const CHAR_INFO* lpFill) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::ScrollConsoleScreenBufferA)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpScrollRectangle == nullptr || lpFill == nullptr) return fail(kErrorInvalidParameter);
  screen_.scroll(*lpScrollRectangle, lpClipRectangle, dwDestinationOrigin, *lpFill);
  return TRUE;
}

BOOL ConsoleHost::FillConsoleOutputAttribute(HANDLE hConsoleOutput, WORD wAttribute, DWORD nLength,
                                             COORD dwWriteCoord, LPDWORD lpNumberOfAttrsWritten) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::FillConsoleOutputAttribute)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpNumberOfAttrsWritten == nullptr) return fail(kErrorInvalidParameter);
  *lpNumberOfAttrsWritten = screen_.fill_attributes(wAttribute, nLength, dwWriteCoord);
  return TRUE;
}

BOOL ConsoleHost::FillConsoleOutputCharacterA(HANDLE hConsoleOutput, CHAR cCharacter, DWORD nLength,
                                              COORD dwWriteCoord, LPDWORD lpNumberOfCharsWritten) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::FillConsoleOutputCharacterA)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpNumberOfCharsWritten == nullptr) return fail(kErrorInvalidParameter);
  *lpNumberOfCharsWritten = screen_.fill_characters(cCharacter, nLength, dwWriteCoord);
  return TRUE;
}

BOOL ConsoleHost::SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::SetConsoleCursorPosition)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (!screen_.set_cursor(dwCursorPosition)) return fail(kErrorInvalidParameter);
  return TRUE;
}

BOOL ConsoleHost::SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute,
                                       const SMALL_RECT* lpConsoleWindow) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::SetConsoleWindowInfo)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpConsoleWindow == nullptr) return fail(kErrorInvalidParameter);
  SMALL_RECT window = *lpConsoleWindow;
  if (bAbsolute == FALSE) {
    // Each member is a delta added to the current window's member.
    const SMALL_RECT current = screen_.window();
    const int left = current.Left + window.Left;
    const int top = current.Top + window.Top;
    const int right = current.Right + window.Right;
    const int bottom = current.Bottom + window.Bottom;
    if (!fits_short(left) || !fits_short(top) || !fits_short(right) || !fits_short(bottom)) {
      return fail(kErrorInvalidParameter);
    }
    window = {static_cast<SHORT>(left), static_cast<SHORT>(top), static_cast<SHORT>(right),
              static_cast<SHORT>(bottom)};
  }
  if (!screen_.set_window(window)) return fail(kErrorInvalidParameter);
  return TRUE;
}

BOOL ConsoleHost::GetConsoleCursorInfo(HANDLE hConsoleOutput,
                                       CONSOLE_CURSOR_INFO* lpConsoleCursorInfo) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::GetConsoleCursorInfo)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpConsoleCursorInfo == nullptr) return fail(kErrorInvalidParameter);
  *lpConsoleCursorInfo = {screen_.cursor_size, screen_.cursor_visible ? TRUE : FALSE};
  return TRUE;
}

BOOL ConsoleHost::SetConsoleCursorInfo(HANDLE hConsoleOutput,
                                       const CONSOLE_CURSOR_INFO* lpConsoleCursorInfo) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::SetConsoleCursorInfo)) return FALSE;
  if (!is_console_output(hConsoleOutput)) return fail(kErrorInvalidHandle);
  if (lpConsoleCursorInfo == nullptr || lpConsoleCursorInfo->dwSize < 1 ||
      lpConsoleCursorInfo->dwSize > 100) {
    return fail(kErrorInvalidParameter);
  }
  screen_.cursor_size = lpConsoleCursorInfo->dwSize;
  screen_.cursor_visible = lpConsoleCursorInfo->bVisible != FALSE;
  return TRUE;
}

BOOL ConsoleHost::WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                            LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  std::lock_guard lock(mutex_);
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (enter(ApiCall::WriteFile)) return FALSE;
  if (lpNumberOfBytesWritten == nullptr && lpOverlapped == nullptr) {
    return fail(kErrorInvalidParameter);
  }
  if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) return fail(kErrorInvalidParameter);
  const char* bytes = static_cast<const char*>(lpBuffer);
  DWORD written = nNumberOfBytesToWrite;
  if (hFile == kFileOutputHandle) {
    if (redirected_write_limit_ != 0) written = std::min(written, redirected_write_limit_);
    if (written > 0) redirected_output_.append(bytes, written);
  } else if (is_console_output(hFile)) {
    bells_ += screen_.teletype(bytes, written);
  } else {
    return fail(kErrorInvalidHandle);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = written;
  return TRUE;
}

}  // namespace veltrane::host
