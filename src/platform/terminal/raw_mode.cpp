#include "platform/terminal/raw_mode.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/posix/descriptor_write.h"

namespace veltrane::terminal {

namespace {

// Read by signal handlers: plain data, set before any handler is installed.
struct termios saved_mode;
int raw_fd = -1;
volatile std::sig_atomic_t raw_on = 0;
volatile std::sig_atomic_t restored = 0;
int restore_fd = -1;
char restore_bytes[32];
std::size_t restore_length = 0;

long long now_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

bool enter_raw_mode(int fd) {
  struct termios mode {};
  if (raw_on != 0 || tcgetattr(fd, &mode) != 0) return false;
  saved_mode = mode;
  mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  mode.c_lflag |= ISIG;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  // A console has no job control: Ctrl+Z is a key there.
  mode.c_cc[VSUSP] = _POSIX_VDISABLE;
  if (tcsetattr(fd, TCSANOW, &mode) != 0) return false;
  raw_fd = fd;
  raw_on = 1;
  restored = 0;
  return true;
}

void leave_raw_mode() {
  if (raw_on == 0) return;
  raw_on = 0;
  tcsetattr(raw_fd, TCSANOW, &saved_mode);
}

void set_restore_output(int fd, const std::string& bytes) {
  restore_length = std::min(bytes.size(), sizeof restore_bytes - 1);
  std::memcpy(restore_bytes, bytes.data(), restore_length);
  restore_fd = fd;
}

void restore_terminal() {
  if (restored != 0) return;
  restored = 1;
  if (restore_fd >= 0) platform::write_all(restore_fd, restore_bytes, restore_length);
  leave_raw_mode();
}

bool find_cursor_report(const std::string& bytes, int* x, int* y, std::size_t* start,
                        std::size_t* end) {
  for (std::size_t at = bytes.find("\x1b["); at != std::string::npos;
       at = bytes.find("\x1b[", at + 1)) {
    int values[2] = {0, 0};
    int index = 0;
    std::size_t i = at + 2;
    bool digits = false;
    for (; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c >= '0' && c <= '9' && values[index] < 100000) {
        values[index] = values[index] * 10 + (c - '0');
        digits = true;
      } else if (c == ';' && index == 0 && digits) {
        index = 1;
        digits = false;
      } else {
        break;
      }
    }
    if (i < bytes.size() && bytes[i] == 'R' && index == 1 && digits && values[0] > 0 &&
        values[1] > 0) {
      *y = values[0] - 1;
      *x = values[1] - 1;
      *start = at;
      *end = i + 1;
      return true;
    }
  }
  return false;
}

bool query_cursor(int in_fd, int out_fd, int timeout_ms, int* x, int* y, std::string* typeahead) {
  platform::write_all(out_fd, "\x1b[6n", 4);
  const long long deadline = now_ms() + timeout_ms;
  std::string got;
  for (;;) {
    std::size_t start = 0;
    std::size_t end = 0;
    if (find_cursor_report(got, x, y, &start, &end)) {
      typeahead->append(got, 0, start);
      typeahead->append(got, end);
      return true;
    }
    const long long left = deadline - now_ms();
    if (left <= 0) break;
    pollfd watched{in_fd, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[256];
    const ssize_t n = read(in_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  typeahead->append(got);
  return false;
}

bool terminal_size(int fd, int* columns, int* rows) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
  *columns = size.ws_col;
  *rows = size.ws_row;
  return true;
}

}  // namespace veltrane::terminal
