#include "platform/terminal/terminal_console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/posix/console_api.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/descriptor_write.h"
#include "platform/terminal/cp437.h"
#include "platform/terminal/key_decoder.h"
#include "platform/terminal/raw_mode.h"
#include "platform/terminal/screen_renderer.h"
#include "platform/terminal/terminal_signals.h"

namespace veltrane::terminal {

namespace {

constexpr int kCursorQueryTimeoutMs = 200;

std::uint64_t monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// The signal that raised the control event (see act_on_signal).
int signal_for(DWORD ctrl_type) {
  switch (ctrl_type) {
    case CTRL_C_EVENT:
      return SIGINT;
    case CTRL_BREAK_EVENT:
      return SIGQUIT;
    case CTRL_CLOSE_EVENT:
      return SIGHUP;
    default:
      return SIGTERM;
  }
}

// Where the tool's output starts: the terminal's cursor, or when the terminal
// does not say, the start of a fresh bottom row.
struct Start {
  int x = 0;
  int y = 0;
  std::string typeahead;
};

// Asks the terminal where its cursor stands: on standard input when that is
// the terminal (keys that came before the answer go to `typeahead`), else
// through the controlling terminal, raw just for the answer, whose keys are
// the terminal's and not the tool's.
bool ask_cursor(int input_fd, int* x, int* y, std::string* typeahead) {
  if (input_fd >= 0) return query_cursor(input_fd, 1, kCursorQueryTimeoutMs, x, y, typeahead);
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  bool answered = false;
  if (enter_raw_mode(tty)) {
    std::string ignored;
    answered = query_cursor(tty, 1, kCursorQueryTimeoutMs, x, y, &ignored);
    leave_raw_mode();
  }
  close(tty);
  return answered;
}

Start find_start(bool input_is_tty, int rows) {
  Start start;
  const bool answered = ask_cursor(input_is_tty ? 0 : -1, &start.x, &start.y, &start.typeahead);
  if (answered && start.y < rows) {
    platform::write_all(1, "\x1b[J");  // the console below the cursor starts blank
  } else {
    start.x = 0;
    start.y = rows - 1;
    platform::write_all(1, "\r\n\x1b[" + std::to_string(rows) + "H\x1b[K");
  }
  return start;
}

class TerminalConsole final : public platform::ConsoleFrontEnd {
 public:
  TerminalConsole(bool input_is_tty, bool output_is_tty, int columns, int rows, bool utf8)
      : host_(static_cast<SHORT>(columns), static_cast<SHORT>(rows)),
        input_fd_(input_is_tty ? 0 : -1),
        output_fd_(output_is_tty ? 1 : -1),
        decoder_(utf8) {
    host_.set_input_redirected(!input_is_tty);
    host_.set_output_redirected(!output_is_tty);
    host_.set_wait_routine([this](DWORD ms) { wait(ms); });
    // The default action of a control event: ends the process, on the
    // handler thread, as Windows does, by the signal that raised the event;
    // the shell then starts on a fresh line.
    host_.set_process_end_callback([this](DWORD, DWORD ctrl_type) {
      flush();
      if (output_fd_ >= 0 && host_.cursor().X != 0) platform::write_all(output_fd_, "\r\n");
      finish();
      end_by_signal(signal_for(ctrl_type));
    });
  }

  // The console's first row goes where the terminal's cursor stands, with
  // the console's cursor in the same column; keys typed ahead of the start
  // go into its input.
  void start(const Start& where, int columns, int rows, bool utf8) {
    host_.set_cursor(static_cast<SHORT>(where.x), 0);
    if (output_fd_ >= 0) renderer_.emplace(columns, rows, where.x, where.y, utf8);
    std::vector<INPUT_RECORD> records;
    decoder_.push(where.typeahead, monotonic_ms(), records);
    host_.queue_records(records);
  }

  host::ConsoleHost& host() { return host_; }

  void screen_changed() override { dirty_.store(true); }

  void before_input(bool wait) override {
    flush();
    pump(0);
    while (wait && input_fd_ >= 0 && host_.queued_input_count() == 0) pump(-1);
  }

  void before_wait() override { flush(); }

  // Draws what is left to draw and gives the terminal back as it was found.
  void finish() {
    flush();
    restore_terminal();
  }

 private:
  ScreenImage image() const {
    const SMALL_RECT window = host_.window();
    const COORD cursor = host_.cursor();
    ScreenImage image;
    image.columns = window.Right - window.Left + 1;
    image.rows = window.Bottom - window.Top + 1;
    image.cells.reserve(static_cast<std::size_t>(image.columns) *
                        static_cast<std::size_t>(image.rows));
    for (int y = window.Top; y <= window.Bottom; ++y) {
      for (int x = window.Left; x <= window.Right; ++x) {
        image.cells.push_back(host_.cell(static_cast<SHORT>(x), static_cast<SHORT>(y)));
      }
    }
    image.cursor_x = cursor.X - window.Left;
    image.cursor_y = cursor.Y - window.Top;
    image.cursor_visible = host_.cursor_info().bVisible != FALSE;
    return image;
  }

  void flush() {
    if (output_fd_ < 0) return;
    std::string out;
    {
      std::lock_guard lock(mutex_);
      if (dirty_.exchange(false)) out = renderer_->render(image());
      // BEL written to the console rings the terminal's bell.
      const std::size_t bells = host_.bell_count();
      if (bells > bells_seen_) out.append(bells - bells_seen_, '\a');
      bells_seen_ = bells;
    }
    if (!out.empty()) platform::write_all(output_fd_, out);
  }

  // Waits up to timeout_ms (-1: no limit) for terminal bytes or a signal,
  // then queues the keys and raises the control events that came.
  void pump(int timeout_ms) {
    pollfd watched[2];
    nfds_t count = 0;
    watched[count++] = {signal_pipe(), POLLIN, 0};
    if (input_fd_ >= 0) watched[count++] = {input_fd_, POLLIN, 0};
    std::vector<INPUT_RECORD> records;
    {
      std::lock_guard lock(mutex_);
      const int escape_wait = decoder_.next_timeout(monotonic_ms());
      if (escape_wait >= 0 && (timeout_ms < 0 || escape_wait < timeout_ms))
        timeout_ms = escape_wait;
    }
    const int ready = poll(watched, count, timeout_ms);
    {
      std::lock_guard lock(mutex_);
      if (ready > 0 && count > 1 && watched[1].revents != 0) read_keys(records);
      decoder_.expire(monotonic_ms(), records);
    }
    if (!records.empty()) host_.queue_records(records);
    // Control events run the tool's handlers, which may end the process: no
    // lock may be held here.
    for (const int signal_number : take_signals()) act_on_signal(signal_number);
  }

  void read_keys(std::vector<INPUT_RECORD>& records) {
    char bytes[256];
    const ssize_t n = read(input_fd_, bytes, sizeof bytes);
    if (n > 0) {
      decoder_.push(std::string_view(bytes, static_cast<std::size_t>(n)), monotonic_ms(), records);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      input_fd_ = -1;  // the terminal is gone: stop watching it
    }
  }

  void act_on_signal(int signal_number) {
    switch (signal_number) {
      case SIGINT:
        host_.press_ctrl_c();
        break;
      case SIGQUIT:
        host_.raise_ctrl_event(CTRL_BREAK_EVENT);
        break;
      case SIGHUP:
        host_.raise_ctrl_event(CTRL_CLOSE_EVENT);
        break;
      case SIGTERM:
        host_.raise_ctrl_event(CTRL_SHUTDOWN_EVENT);
        break;
      case SIGWINCH:
        redraw_resized();
        break;
      default:
        break;
    }
  }

  // The terminal may have rewrapped and moved what it shows: where its
  // cursor now stands places the console again.
  void redraw_resized() {
    int columns = 0;
    int rows = 0;
    if (output_fd_ < 0 || !terminal_size(output_fd_, &columns, &rows)) return;
    int x = -1;
    int y = -1;
    std::string typeahead;
    if (!ask_cursor(input_fd_, &x, &y, &typeahead)) {
      x = -1;
      y = -1;
    }
    std::vector<INPUT_RECORD> records;
    {
      std::lock_guard lock(mutex_);
      renderer_->resize(columns, rows, x, y);
      decoder_.push(typeahead, monotonic_ms(), records);
    }
    if (!records.empty()) host_.queue_records(records);
    dirty_.store(true);
    flush();
  }

  // The host's wait routine: Sleep and Beep take their time for real, with
  // keys and signals taken in meanwhile.
  void wait(DWORD ms) {
    const std::size_t beeps = host_.beeps().size();
    if (beeps > beeps_seen_ && output_fd_ >= 0) platform::write_all(output_fd_, "\a");
    beeps_seen_ = beeps;
    const std::uint64_t deadline = monotonic_ms() + ms;
    do {
      const std::uint64_t now = monotonic_ms();
      pump(now < deadline ? static_cast<int>(deadline - now) : 0);
    } while (monotonic_ms() < deadline);
  }

  host::ConsoleHost host_;
  int input_fd_;
  int output_fd_;
  std::mutex mutex_;  // renderer and decoder: the exit may come from the handler thread
  KeyDecoder decoder_;
  std::optional<ScreenRenderer> renderer_;
  std::atomic<bool> dirty_{true};
  std::size_t bells_seen_ = 0;
  std::size_t beeps_seen_ = 0;
};

// Lives until the process ends; never destroyed, so that handlers running
// during exit still find it.
TerminalConsole* console = nullptr;

void finish_at_exit() {
  if (console != nullptr) console->finish();
}

}  // namespace

bool attach_terminal_console() {
  if (console != nullptr) return true;
  const bool input_is_tty = isatty(0) != 0;
  const bool output_is_tty = isatty(1) != 0;
  if (!input_is_tty && !output_is_tty) return false;
  const bool utf8 =
      locale_is_utf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
  int columns = 80;
  int rows = 25;
  if (!terminal_size(output_is_tty ? 1 : 0, &columns, &rows)) {
    columns = 80;
    rows = 25;
  }
  columns = std::min(columns, 32767);
  rows = std::min(rows, 32767);
  install_signal_handlers();
  if (input_is_tty) enter_raw_mode(0);
  if (output_is_tty) set_restore_output(1, ScreenRenderer::restore_sequence());
  std::atexit(finish_at_exit);
  console = new TerminalConsole(input_is_tty, output_is_tty, columns, rows, utf8);
  if (const char* mode = std::getenv("VELTRANE_INPUT_MODE"); mode != nullptr && *mode != '\0') {
    console->host().set_input_mode(static_cast<DWORD>(std::strtoul(mode, nullptr, 0)));
  }
  Start where;
  if (output_is_tty) where = find_start(input_is_tty, rows);
  console->start(where, columns, rows, utf8);
  platform::attach_console_front_end(console);
  host::attach_console_host(&console->host());
  return true;
}

}  // namespace veltrane::terminal
