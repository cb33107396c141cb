#include "platform/terminal/terminal_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/terminal/raw_mode.h"

namespace veltrane::terminal {

namespace {

int pipe_ends[2] = {-1, -1};
struct sigaction previous_actions[NSIG];

constexpr int kEnding[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr int kFatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void forward_signal(int signal_number) {
  const int saved_errno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  // A full pipe drops the byte: enough of them are already waiting.
  [[maybe_unused]] const ssize_t ignored = write(pipe_ends[1], &byte, 1);
  errno = saved_errno;
}

void fatal_signal(int signal_number) {
  restore_terminal();
  struct sigaction action = previous_actions[signal_number];
  if (action.sa_handler == SIG_IGN) action.sa_handler = SIG_DFL;
  sigaction(signal_number, &action, nullptr);
  // Delivered when this handler returns; a fault raises itself again anyway.
  raise(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, &previous_actions[signal_number]);
}

}  // namespace

bool install_signal_handlers() {
  if (pipe_ends[0] >= 0) return true;
  if (pipe2(pipe_ends, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  // An ending signal the tool was started with ignored stays ignored, as
  // whoever started it meant: nohup ignores SIGHUP, and a shell script
  // starts its background jobs with SIGINT and SIGQUIT ignored.
  for (const int s : kEnding) {
    struct sigaction current {};
    if (sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    install(s, forward_signal);
  }
  install(SIGWINCH, forward_signal);
  for (const int s : kFatal) install(s, fatal_signal);
  return true;
}

int signal_pipe() { return pipe_ends[0]; }

void end_by_signal(int signal_number) {
  // What exit would have written; a failure here has no one left to tell.
  [[maybe_unused]] const int flushed = std::fflush(nullptr);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal_number);
  // Not reached for the four, whose default action ends the process; for any
  // other signal the shell's convention for it stands in.
  _exit(128 + signal_number);
}

std::vector<int> take_signals() {
  std::vector<int> signals;
  if (pipe_ends[0] < 0) return signals;
  unsigned char bytes[64];
  for (;;) {
    const ssize_t n = read(pipe_ends[0], bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    signals.insert(signals.end(), bytes, bytes + n);
  }
  return signals;
}

}  // namespace veltrane::terminal
