// GoogleTest's injection point for port settings, taken ahead of its own
// (empty) one by the tests/win32 build.
//
// GoogleTest's thread support on Windows builds its Notification on
// std::mutex and std::condition_variable, which the win32-thread mingw-w64
// runtime does not provide. Notification only coordinates GoogleTest's own
// thread tests, which these tests never use, so a spinning flag serves.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets a controller thread release threads waiting for it.
class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  // Releases every current and later waiter.
  void Notify() { notified_.store(true); }
  // Returns once Notify() has been called.
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

#endif  // GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
