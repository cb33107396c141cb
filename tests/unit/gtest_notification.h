// The one piece of GoogleTest's port layer that needs std::mutex, which the
// C++ library of the Windows cross compiler (win32 thread model) lacks.
// GoogleTest uses it only to start threads of its own, which these tests
// never do; a flag serves. Included before GoogleTest's headers in the
// Windows build (GTEST_HAS_NOTIFICATION_ tells them it exists).
#pragma once

#include <atomic>

namespace testing::internal {

class Notification {
 public:
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
