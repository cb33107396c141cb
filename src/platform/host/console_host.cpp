// The console host's set-up, read-back and call-log parts; input, control and
// time are in console_host_input.cpp, the screen-buffer calls in
// console_host_output.cpp.
#include "platform/host/console_host.h"

#include <algorithm>

#include "platform/host/host_handles.h"

namespace veltrane::host {

ConsoleHost::ConsoleHost() : ConsoleHost(80, 25) {}

ConsoleHost::ConsoleHost(SHORT columns, SHORT rows) : screen_(columns, rows) {}

// ---- Set-up ----

void ConsoleHost::set_buffer_size(SHORT columns, SHORT rows) {
  std::lock_guard lock(mutex_);
  screen_.resize(columns, rows);
}

void ConsoleHost::set_largest_window_size(SHORT columns, SHORT rows) {
  std::lock_guard lock(mutex_);
  screen_.set_largest_window({columns, rows});
}

bool ConsoleHost::set_window(SMALL_RECT window) {
  std::lock_guard lock(mutex_);
  return screen_.set_window(window);
}

bool ConsoleHost::set_cursor(SHORT x, SHORT y) {
  std::lock_guard lock(mutex_);
  return screen_.place_cursor({x, y});
}

void ConsoleHost::set_attribute(WORD attributes) {
  std::lock_guard lock(mutex_);
  screen_.attributes = attributes;
}

void ConsoleHost::set_cursor_info(DWORD size, bool visible) {
  std::lock_guard lock(mutex_);
  screen_.cursor_size = size;
  screen_.cursor_visible = visible;
}

void ConsoleHost::set_input_mode(DWORD mode) {
  std::lock_guard lock(mutex_);
  input_mode_ = mode;
}

void ConsoleHost::set_output_mode(DWORD mode) {
  std::lock_guard lock(mutex_);
  screen_.output_mode = mode;
}

void ConsoleHost::set_input_redirected(bool redirected) {
  std::lock_guard lock(mutex_);
  input_redirected_ = redirected;
}

void ConsoleHost::set_output_redirected(bool redirected) {
  std::lock_guard lock(mutex_);
  output_redirected_ = redirected;
}

void ConsoleHost::set_redirected_write_limit(DWORD bytes) {
  std::lock_guard lock(mutex_);
  redirected_write_limit_ = bytes;
}

void ConsoleHost::set_pseudo_console(bool on) {
  std::lock_guard lock(mutex_);
  screen_.keeps_history = on;
}

void ConsoleHost::put_text(SHORT x, SHORT y, const std::string& text, WORD attributes) {
  std::lock_guard lock(mutex_);
  for (std::size_t k = 0; k < text.size(); ++k) {
    const int column = x + static_cast<int>(k);
    if (screen_.contains(column, y)) screen_.cell(column, y) = {text[k], attributes};
  }
}

// ---- Read back ----

COORD ConsoleHost::buffer_size() const {
  std::lock_guard lock(mutex_);
  return screen_.size();
}

SMALL_RECT ConsoleHost::window() const {
  std::lock_guard lock(mutex_);
  return screen_.window();
}

COORD ConsoleHost::cursor() const {
  std::lock_guard lock(mutex_);
  return screen_.cursor();
}

CONSOLE_CURSOR_INFO ConsoleHost::cursor_info() const {
  std::lock_guard lock(mutex_);
  return {screen_.cursor_size, screen_.cursor_visible ? TRUE : FALSE};
}

WORD ConsoleHost::attribute() const {
  std::lock_guard lock(mutex_);
  return screen_.attributes;
}

DWORD ConsoleHost::input_mode() const {
  std::lock_guard lock(mutex_);
  return input_mode_;
}

DWORD ConsoleHost::output_mode() const {
  std::lock_guard lock(mutex_);
  return screen_.output_mode;
}

Cell ConsoleHost::cell(SHORT x, SHORT y) const {
  std::lock_guard lock(mutex_);
  return screen_.contains(x, y) ? screen_.cell(x, y) : Cell{0, 0};
}

std::string ConsoleHost::row_text(SHORT y) const {
  std::lock_guard lock(mutex_);
  return screen_.row_text(y);
}

std::vector<std::string> ConsoleHost::terminal_history() const {
  std::lock_guard lock(mutex_);
  return screen_.history;
}

std::vector<BeepRecord> ConsoleHost::beeps() const {
  std::lock_guard lock(mutex_);
  return beeps_;
}

std::size_t ConsoleHost::bell_count() const {
  std::lock_guard lock(mutex_);
  return bells_;
}

std::string ConsoleHost::redirected_output() const {
  std::lock_guard lock(mutex_);
  return redirected_output_;
}

DWORD ConsoleHost::last_error() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

// ---- Call log and failure injection ----

std::vector<ApiCall> ConsoleHost::call_log() const {
  std::lock_guard lock(mutex_);
  return call_log_;
}

std::size_t ConsoleHost::call_count(ApiCall call) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count(call_log_.begin(), call_log_.end(), call));
}

void ConsoleHost::clear_call_log() {
  std::lock_guard lock(mutex_);
  call_log_.clear();
}

void ConsoleHost::fail_next(ApiCall call, std::size_t count, DWORD error) {
  std::lock_guard lock(mutex_);
  pending_failures_[static_cast<std::size_t>(call)] = count;
  failure_errors_[static_cast<std::size_t>(call)] = error;
}

bool ConsoleHost::enter(ApiCall call) {
  call_log_.push_back(call);
  std::size_t& pending = pending_failures_[static_cast<std::size_t>(call)];
  if (pending == 0) return false;
  --pending;
  last_error_ = failure_errors_[static_cast<std::size_t>(call)];
  return true;
}

BOOL ConsoleHost::fail(DWORD error) {
  last_error_ = error;
  return FALSE;
}

bool ConsoleHost::is_console_input(HANDLE handle) const { return handle == kConsoleInputHandle; }

bool ConsoleHost::is_console_output(HANDLE handle) const { return handle == kConsoleOutputHandle; }

}  // namespace veltrane::host
