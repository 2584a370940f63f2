// The completion waits: event notification and polling.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "platform/kernel.h"

namespace {
constexpr unsigned kFallbackPollMs = 10;
}

bool WaitPolling(volatile std::uint8_t *status, unsigned sleepMs) {
  for (;;) {
    const std::uint8_t now = __atomic_load_n(status, __ATOMIC_ACQUIRE);
    if (now != SS_PENDING)
      return now == SS_COMP;
    PassThroughSleep(sleepMs);
  }
}

bool CompleteByPolling(void *block, unsigned sleepMs) {
  return WaitPolling(static_cast<volatile std::uint8_t *>(block) + 1, sleepMs);
}

bool CompleteByEvent(SRB_ExecSCSICmd *block, platform::Event *event, std::uint32_t submitResult) {
  if (submitResult != SS_PENDING)
    return ReadStatus(block) == SS_COMP; // already ended: no wait
  if (event == nullptr)                  // no event could be made: the status still tells
    return CompleteByPolling(block, kFallbackPollMs);
  platform::WaitForEvent(event);
  return ReadStatus(block) == SS_COMP;
}
