// The functions of the Windows console API that the tool calls, declared with
// their Windows names and signatures for platforms that lack them. Semantics
// are those of the Windows console; with a console host attached the host
// implements them. Reached through platform/console_api.h.
#pragma once

#include "platform/posix/windows_types.h"

HANDLE GetStdHandle(DWORD nStdHandle);
BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
BOOL SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode);
BOOL PeekConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                       LPDWORD lpNumberOfEventsRead);
BOOL ReadConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                       LPDWORD lpNumberOfEventsRead);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);
UINT MapVirtualKeyA(UINT uCode, UINT uMapType);
BOOL GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                CONSOLE_SCREEN_BUFFER_INFO* lpConsoleScreenBufferInfo);
BOOL WriteConsoleOutputA(HANDLE hConsoleOutput, const CHAR_INFO* lpBuffer, COORD dwBufferSize,
                         COORD dwBufferCoord, SMALL_RECT* lpWriteRegion);
BOOL ScrollConsoleScreenBufferA(HANDLE hConsoleOutput, const SMALL_RECT* lpScrollRectangle,
                                const SMALL_RECT* lpClipRectangle, COORD dwDestinationOrigin,
                                const CHAR_INFO* lpFill);
BOOL FillConsoleOutputAttribute(HANDLE hConsoleOutput, WORD wAttribute, DWORD nLength,
                                COORD dwWriteCoord, LPDWORD lpNumberOfAttrsWritten);
BOOL FillConsoleOutputCharacterA(HANDLE hConsoleOutput, CHAR cCharacter, DWORD nLength,
                                 COORD dwWriteCoord, LPDWORD lpNumberOfCharsWritten);
BOOL SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition);
BOOL SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute, const SMALL_RECT* lpConsoleWindow);
BOOL GetConsoleCursorInfo(HANDLE hConsoleOutput, CONSOLE_CURSOR_INFO* lpConsoleCursorInfo);
BOOL SetConsoleCursorInfo(HANDLE hConsoleOutput, const CONSOLE_CURSOR_INFO* lpConsoleCursorInfo);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
void Sleep(DWORD dwMilliseconds);
DWORD GetTickCount();
BOOL SwitchToThread();
BOOL Beep(DWORD dwFreq, DWORD dwDuration);

namespace veltrane::platform {

class ConsoleFrontEnd;  // console_front_end.h

// Attaches `front_end` (nullptr detaches). With one attached, WriteFile on
// the host's redirected standard output writes to descriptor 1 instead of the
// host's memory. It must outlive its attachment.
void attach_console_front_end(ConsoleFrontEnd* front_end);

// Lets an attached front end draw before a wait on the host's clock, as Sleep
// and Beep do; for the other waits of the console API.
void before_console_wait();

}  // namespace veltrane::platform
