// The completion waits: event notification and polling. Each returns only
// once the request has left SS_PENDING, or once its time limit has passed.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "platform/kernel.h"

#include <cstdlib>

namespace {

constexpr unsigned kFallbackPollMs = 10;

// Every manager times a command out itself (ours after 30 s, and after
// 6 minutes for WRITE BUFFER and the firmware block commands), so only a
// broken manager that never completes an accepted request reaches these.
// The 0 ms poll serves exactly the firmware-sending commands.
constexpr unsigned kQueryLimitMs = 2 * 60 * 1000;
constexpr unsigned kFirmwareLimitMs = 10 * 60 * 1000;

// A firmware command still pending after this long is a slow one (a drive
// writing its flash takes seconds): reading its status every 10 ms instead of
// after every time slice delays it by at most a tenth and leaves the
// processor to the rest of the machine.
constexpr unsigned kSpinLimitMs = 100;
constexpr unsigned kSlowPollMs = 10;

#ifdef FWUPD_TEST_HOOKS
unsigned LimitOverrideMs = 0; // 0 keeps the limits above
#endif

unsigned LimitFor(unsigned limitMs) {
#ifdef FWUPD_TEST_HOOKS
  // The program that the end-to-end tests run whole takes its limit from here.
  static const unsigned fromEnvironment = [] {
    const char *ms = std::getenv("FWUPD_TEST_WAIT_LIMIT_MS");
    return ms != nullptr ? static_cast<unsigned>(std::strtoul(ms, nullptr, 10)) : 0u;
  }();
  if (LimitOverrideMs != 0)
    return LimitOverrideMs;
  if (fromEnvironment != 0)
    return fromEnvironment;
#endif
  return limitMs;
}

// Milliseconds since `start`, from the high-resolution counter.
unsigned ElapsedMs(std::int64_t start) {
  const std::int64_t ticks = platform::QueryCounter() - start;
  const std::int64_t perMs = platform::QueryCounterFrequency() / 1000;
  const std::int64_t ms = ticks / (perMs > 0 ? perMs : 1);
  return ms > 0xFFFFFFF0 ? 0xFFFFFFF0u : static_cast<unsigned>(ms);
}

bool Ended(const void *block, bool *ok) {
  const std::uint8_t now = ReadStatus(block);
  *ok = now == SS_COMP;
  return now != SS_PENDING;
}

} // namespace

bool CompleteByPolling(void *block, unsigned sleepMs) {
  const unsigned limitMs = LimitFor(sleepMs == 0 ? kFirmwareLimitMs : kQueryLimitMs);
  const std::int64_t start = platform::QueryCounter();
  bool ok = false;
  while (!Ended(block, &ok)) {
    const unsigned elapsed = ElapsedMs(start);
    if (elapsed >= limitMs)
      return false; // abandoned: its memory is never reused
    PassThroughSleep(sleepMs == 0 && elapsed >= kSpinLimitMs ? kSlowPollMs : sleepMs);
  }
  return ok;
}

// The event says only that the manager signalled it, perhaps for an earlier
// attempt that it answered busy, perhaps twice or late; the status says
// whether this request has ended. A signal that leaves the status pending is
// reset and waited past.
bool CompleteByEvent(SRB_ExecSCSICmd *block, platform::Event *event, std::uint32_t submitResult) {
  bool ok = false;
  if (submitResult != SS_PENDING)
    return ReadStatus(block) == SS_COMP; // already ended: no wait
  if (event == nullptr)                  // no event could be made: the status still tells
    return CompleteByPolling(block, kFallbackPollMs);
  const unsigned limitMs = LimitFor(kQueryLimitMs);
  const std::int64_t start = platform::QueryCounter();
  while (!Ended(block, &ok)) {
    const unsigned elapsed = ElapsedMs(start);
    if (elapsed >= limitMs)
      return false;
    if (!platform::WaitForEvent(event, limitMs - elapsed)) {
      // Not signalled in time, or the wait itself failed: the status or the
      // limit ends the loop, without spinning on a wait that keeps failing.
      PassThroughSleep(kFallbackPollMs);
      continue;
    }
    if (Ended(block, &ok))
      break;
    platform::ResetEvent(event);
  }
  return ok;
}

#ifdef FWUPD_TEST_HOOKS
void wnaspi95_test::SetWaitLimitMs(unsigned ms) {
  LimitOverrideMs = ms;
}
#endif
