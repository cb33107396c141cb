#include "console/console_view.h"

#include "console/key_input.h"
#include "platform/console_api.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

ConsoleState state{};
const StatePart console_state_part{[] { state = ConsoleState{}; }};

}  // namespace

ConsoleState& console_state() { return state; }

bool view_is_empty(const ConsoleView& view) {
  return view.left == view.right || view.top == view.bottom;
}

void take_view_snapshot() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(console_output_handle(), &info) != 0) {
    state.view = ConsoleView{0, info.srWindow.Top, static_cast<std::int16_t>(info.dwSize.X - 1),
                             info.srWindow.Bottom};
  } else {
    state.view = ConsoleView{};
  }
  state.snapshot_taken = true;
}

const ConsoleView& current_view() {
  if (!state.snapshot_taken) take_view_snapshot();
  return state.view;
}

void console_size(std::int32_t* columns, std::int32_t* rows) {
  const ConsoleView& view = current_view();
  const bool empty = view_is_empty(view);
  if (columns != nullptr) *columns = empty ? 80 : view.right - view.left + 1;
  if (rows != nullptr) *rows = empty ? 25 : view.bottom - view.top + 1;
}

void buffer_to_view(std::int32_t* column, std::int32_t* row) {
  const ConsoleView& view = current_view();
  if (view_is_empty(view)) return;
  *column = *column - view.left + 1;
  *row = *row - view.top + 1;
}

void view_to_buffer(std::int32_t* column, std::int32_t* row) {
  const ConsoleView& view = current_view();
  if (view_is_empty(view)) return;
  *column = *column + view.left - 1;
  *row = *row + view.top - 1;
}

void cursor_position(std::int32_t* column, std::int32_t* row) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::int32_t c = 0;
  std::int32_t r = 0;
  if (GetConsoleScreenBufferInfo(console_output_handle(), &info) != 0) {
    c = info.dwCursorPosition.X;
    r = info.dwCursorPosition.Y;
    buffer_to_view(&c, &r);
  }
  if (column != nullptr) *column = c;
  if (row != nullptr) *row = r;
}

std::int32_t text_rows() {
  if (state.text_rows_last == 0) console_size(nullptr, &state.text_rows_last);
  return state.text_rows_last;
}

bool pending_line_advance() { return state.pending_line_advance; }
void clear_pending_line_advance() { state.pending_line_advance = false; }

}  // namespace veltrane
