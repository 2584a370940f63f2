// Waiting for a pending request on POSIX: the toolkit's connection to the
// window system is not ours to poll, so the wait goes in slices, and the
// windows are served between them.
#include "platform/kernel.h"
#include "platform/window_server.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

bool PlainWait(Event *event, unsigned ms) {
  if (event != nullptr)
    return WaitForEvent(event, ms);
  SleepMs(ms);
  return false;
}

unsigned MsSince(std::chrono::steady_clock::time_point start) {
  const auto passed = std::chrono::steady_clock::now() - start;
  return static_cast<unsigned>(std::min<std::int64_t>(
      std::chrono::ceil<std::chrono::milliseconds>(passed).count(), 0xFFFFFFF0));
}

} // namespace

bool AwaitRequest(Event *event, unsigned ms) {
  if (!detail::WindowsToServe())
    return PlainWait(event, ms);
  detail::ServeWindows(false);
  if (ms == 0)
    return PlainWait(event, 0);
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const unsigned passed = MsSince(start);
    if (passed >= ms)
      return false;
    const unsigned slice = std::min(ms - passed, detail::kServeEveryMs);
    const auto sliceStart = std::chrono::steady_clock::now();
    if (PlainWait(event, slice))
      return true;
    // A wait that failed at once is the caller's to handle, not to repeat here.
    if (event != nullptr && MsSince(sliceStart) * 2 < slice)
      return false;
    detail::ServeWindows(false);
  }
}

} // namespace platform
