#include "platform/host/api_call.h"

namespace veltrane::host {

std::string_view api_call_name(ApiCall call) {
  static constexpr std::array<std::string_view, kApiCallCount> names = {
      "GetStdHandle",
      "GetConsoleMode",
      "SetConsoleMode",
      "PeekConsoleInputA",
      "ReadConsoleInputA",
      "SetConsoleCtrlHandler",
      "MapVirtualKeyA",
      "GetConsoleScreenBufferInfo",
      "WriteConsoleOutputA",
      "ScrollConsoleScreenBufferA",
      "FillConsoleOutputAttribute",
      "FillConsoleOutputCharacterA",
      "SetConsoleCursorPosition",
      "SetConsoleWindowInfo",
      "GetConsoleCursorInfo",
      "SetConsoleCursorInfo",
      "WriteFile",
      "Sleep",
      "GetTickCount",
      "WaitForSingleObject",
      "Beep",
  };
  const auto i = static_cast<std::size_t>(call);
  return i < names.size() ? names[i] : std::string_view{};
}

}  // namespace veltrane::host
