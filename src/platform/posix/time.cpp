// Sleep and the monotonic counter, counted in nanoseconds.
#include "platform/kernel.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace platform {

void SleepMs(unsigned ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::int64_t QueryCounter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::int64_t QueryCounterFrequency() {
  return 1000000000LL;
}

} // namespace platform
