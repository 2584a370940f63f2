// The registered window server and its guard against being entered twice.
#include "platform/window_server.h"

#include "platform/kernel.h"

namespace platform {
namespace {

WindowServer Server = nullptr;
bool Serving = false;
bool EverServed = false;
std::int64_t LastServed = 0;

} // namespace

void SetWindowServer(WindowServer serve) {
  Server = serve;
}

bool ServingWindowsInWait() {
  return Serving;
}

namespace detail {

bool WindowsToServe() {
  return Server != nullptr && !Serving;
}

void ServeWindows(bool now) {
  if (!WindowsToServe())
    return;
  const std::int64_t at = QueryCounter();
  const std::int64_t perMs = QueryCounterFrequency() / 1000;
  if (!now && EverServed && at - LastServed < kServeEveryMs * (perMs > 0 ? perMs : 1))
    return;
  EverServed = true;
  Serving = true;
  Server();
  Serving = false;
  LastServed = QueryCounter();
}

} // namespace detail
} // namespace platform
