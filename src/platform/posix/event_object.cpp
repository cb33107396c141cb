// Event objects on POSIX: a flag under a mutex, waited on with a condition
// variable in real time, or on the host's virtual clock when one is attached.
// Only auto-reset events: a satisfied wait takes the signal.
#include "platform/posix/event_object.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/posix/console_api.h"

namespace {

struct EventObject {
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;

  // Takes the signal if it is set.
  bool take() {
    const std::lock_guard lock(mutex);
    const bool was = signalled;
    signalled = false;
    return was;
  }
};

EventObject* event_of(HANDLE handle) { return static_cast<EventObject*>(handle); }

}  // namespace

HANDLE CreateEventA(void*, BOOL bManualReset, BOOL bInitialState, const char* lpName) {
  if (bManualReset != FALSE || lpName != nullptr) return nullptr;
  auto* event = new (std::nothrow) EventObject;
  if (event != nullptr) event->signalled = bInitialState != FALSE;
  return event;
}

BOOL SetEvent(HANDLE hEvent) {
  if (hEvent == nullptr) return FALSE;
  EventObject* event = event_of(hEvent);
  {
    const std::lock_guard lock(event->mutex);
    event->signalled = true;
  }
  event->changed.notify_all();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  if (hHandle == nullptr) return WAIT_FAILED;
  EventObject* event = event_of(hHandle);
  if (auto* host = veltrane::host::attached_console_host()) {
    veltrane::platform::before_console_wait();
    return host->wait_for_object(dwMilliseconds, [event] { return event->take(); }) ? WAIT_OBJECT_0
                                                                                    : WAIT_TIMEOUT;
  }
  if (dwMilliseconds == 0) return event->take() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  std::unique_lock lock(event->mutex);
  if (!event->changed.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                               [event] { return event->signalled; })) {
    return WAIT_TIMEOUT;
  }
  event->signalled = false;
  return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE hObject) {
  if (hObject == nullptr) return FALSE;
  delete event_of(hObject);
  return TRUE;
}
