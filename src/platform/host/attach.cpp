#include "platform/host/attach.h"

#include <atomic>

namespace veltrane::host {

namespace {
std::atomic<ConsoleHost*> attached{nullptr};
}  // namespace

void attach_console_host(ConsoleHost* host) { attached.store(host); }

ConsoleHost* attached_console_host() { return attached.load(); }

}  // namespace veltrane::host
