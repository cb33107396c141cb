// The console API calls the host serves, by name, for the call log and for
// failure injection.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace veltrane::host {

enum class ApiCall : std::size_t {
  GetStdHandle,
  GetConsoleMode,
  SetConsoleMode,
  PeekConsoleInputA,
  ReadConsoleInputA,
  SetConsoleCtrlHandler,
  MapVirtualKeyA,
  GetConsoleScreenBufferInfo,
  WriteConsoleOutputA,
  ScrollConsoleScreenBufferA,
  FillConsoleOutputAttribute,
  FillConsoleOutputCharacterA,
  SetConsoleCursorPosition,
  SetConsoleWindowInfo,
  GetConsoleCursorInfo,
  SetConsoleCursorInfo,
  WriteFile,
  Sleep,
  GetTickCount,
  WaitForSingleObject,
  Beep,
};

inline constexpr std::size_t kApiCallCount = static_cast<std::size_t>(ApiCall::Beep) + 1;

// The Windows name of the call, e.g. "WriteConsoleOutputA".
std::string_view api_call_name(ApiCall call);

}  // namespace veltrane::host
