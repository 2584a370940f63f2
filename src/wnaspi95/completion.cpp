// The completion waits: event notification and polling. Each returns only
// once the request has left SS_PENDING, or once its time limit has passed.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "platform/kernel.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr unsigned kFallbackPollMs = 10;

// Every manager times a command out itself (ours after 30 s, and after
// 20 minutes for the commands that change the drive), so only a broken
// manager that never completes an accepted request reaches these limits.
//
// A manager that has once left a request unanswered to its limit is not
// trusted with minutes again in the same run: each later query wait gets
// DistrustedQueryMs, and all of them together DistrustBudgetMs; after that a
// pending query is given up at the next look. A census of 256 targets that
// never answer so ends after about 3 minutes. Firmware commands keep their
// whole limit: the transfer ends at the first one abandoned, so a run
// abandons at most one, and a slow flash is never cut short for what a query
// did before it.
struct WaitLimits {
  unsigned QueryMs;
  unsigned FirmwareMs;
  unsigned DistrustedQueryMs;
  unsigned DistrustBudgetMs;
};
constexpr WaitLimits kLimits{2 * 60 * 1000, 10 * 60 * 1000, 5 * 1000, 60 * 1000};

// A firmware command still pending after this long is a slow one (a drive
// writing its flash takes seconds): reading its status every 10 ms instead of
// after every time slice delays it by at most a tenth and leaves the
// processor to the rest of the machine.
constexpr unsigned kSpinLimitMs = 100;
constexpr unsigned kSlowPollMs = 10;

// An event wait reads the status at least this often, whatever the event
// says: a manager may signal before it writes the status, or never.
constexpr unsigned kEventLookMs = 100;
// After a signal that left the status pending, so that a manager signalling
// in a loop costs this thread at most a hundred wake-ups a second.
constexpr unsigned kSpuriousPauseMs = 10;

// One step of a wait counts for at most what it was meant to take plus this:
// a process stopped (a debugger, Ctrl+Z, SIGSTOP) for longer than the limit
// must not come back to find a completed command abandoned.
constexpr unsigned kStepSlackMs = 100;

#ifdef FWUPD_TEST_HOOKS
unsigned LimitOverrideMs = 0; // 0 keeps the limits above

// Every wait gives up after `ms`; the limits after an abandoned request keep
// their share of the query limit.
WaitLimits ScaledTo(unsigned ms) {
  const auto share = [ms](unsigned limit) {
    return static_cast<unsigned>(std::uint64_t{limit} * ms / kLimits.QueryMs);
  };
  return {ms, ms, share(kLimits.DistrustedQueryMs), share(kLimits.DistrustBudgetMs)};
}
#endif

WaitLimits Limits() {
#ifdef FWUPD_TEST_HOOKS
  // The program that the end-to-end tests run whole takes its limit from here.
  static const unsigned fromEnvironment = [] {
    const char *ms = std::getenv("FWUPD_TEST_WAIT_LIMIT_MS");
    return ms != nullptr ? static_cast<unsigned>(std::strtoul(ms, nullptr, 10)) : 0u;
  }();
  if (LimitOverrideMs != 0)
    return ScaledTo(LimitOverrideMs);
  if (fromEnvironment != 0)
    return ScaledTo(fromEnvironment);
#endif
  return kLimits;
}

// The run's trust in its manager: lost at the first abandoned request.
bool Distrusted = false;
unsigned DistrustBudgetMs = 0; // what later query waits may still take together

// Counter ticks in one millisecond.
std::int64_t TicksPerMs() {
  const std::int64_t perMs = platform::QueryCounterFrequency() / 1000;
  return perMs > 0 ? perMs : 1;
}

bool Ended(const void *block, bool *ok) {
  const std::uint8_t now = ReadStatus(block);
  *ok = now == SS_COMP;
  return now != SS_PENDING;
}

// The time one wait has spent, counted step by step (see kStepSlackMs) in
// counter ticks, so that steps shorter than a millisecond add up too.
class WaitClock {
public:
  explicit WaitClock(WaitPolicy policy)
      : Budgeted(Distrusted && policy == WaitPolicy::Query), PerMs(TicksPerMs()),
        Last(platform::QueryCounter()) {
    const WaitLimits limits = Limits();
    LimitMs = policy == WaitPolicy::Firmware ? limits.FirmwareMs : limits.QueryMs;
    if (Budgeted)
      LimitMs = std::min(limits.DistrustedQueryMs, DistrustBudgetMs);
  }
  WaitClock(const WaitClock &) = delete;
  WaitClock &operator=(const WaitClock &) = delete;
  ~WaitClock() {
    if (Budgeted)
      DistrustBudgetMs -= std::min(DistrustBudgetMs, CountedMs());
  }

  // Counts the time since the last step, at most `plannedMs` and the slack;
  // returns the milliseconds that really passed.
  unsigned Step(unsigned plannedMs) {
    const std::int64_t now = platform::QueryCounter();
    const std::int64_t passed = std::max<std::int64_t>(now - Last, 0);
    Last = now;
    Counted += std::min<std::int64_t>(passed, (plannedMs + kStepSlackMs) * PerMs);
    return static_cast<unsigned>(std::min<std::int64_t>(passed / PerMs, 0xFFFFFFF0));
  }
  unsigned CountedMs() const {
    return static_cast<unsigned>(std::min<std::int64_t>(Counted / PerMs, 0xFFFFFFF0));
  }
  bool Over() const { return CountedMs() >= LimitMs; }
  unsigned LeftMs() const { return Over() ? 0 : LimitMs - CountedMs(); }

  // The request is given up: its memory is never reused, and the manager
  // is trusted no longer.
  bool Abandon() {
    if (!Distrusted) {
      Distrusted = true;
      DistrustBudgetMs = Limits().DistrustBudgetMs;
    }
    return false;
  }

private:
  const bool Budgeted; // a query wait begun after the trust was lost
  std::int64_t PerMs;
  std::int64_t Last;
  std::int64_t Counted = 0;
  unsigned LimitMs = 0;
};

} // namespace

// The status is read after each time check, so a request that ended while
// the time ran out (or while the process was stopped) is taken, not dropped.
bool CompleteByPolling(void *block, unsigned sleepMs, WaitPolicy policy) {
  bool ok = false;
  if (Ended(block, &ok))
    return ok;
  WaitClock clock(policy);
  for (;;) {
    if (clock.Over())
      return Ended(block, &ok) ? ok : clock.Abandon();
    const unsigned nap = sleepMs == 0 && clock.CountedMs() >= kSpinLimitMs ? kSlowPollMs : sleepMs;
    PassThroughSleep(nap);
    clock.Step(nap);
    if (Ended(block, &ok))
      return ok;
  }
}

// The event says only that the manager signalled it, perhaps for an earlier
// attempt that it answered busy, perhaps twice, late, early or in a loop;
// the status says whether this request has ended. A signal that leaves the
// status pending is reset and waited past.
bool CompleteByEvent(SRB_ExecSCSICmd *block, platform::Event *event, std::uint32_t submitResult) {
  bool ok = false;
  if (submitResult != SS_PENDING)
    return ReadStatus(block) == SS_COMP; // already ended: no wait
  if (event == nullptr)                  // no event could be made: the status still tells
    return CompleteByPolling(block, kFallbackPollMs, WaitPolicy::Query);
  if (Ended(block, &ok))
    return ok;
  WaitClock clock(WaitPolicy::Query);
  for (;;) {
    if (clock.Over())
      return Ended(block, &ok) ? ok : clock.Abandon();
    const unsigned look = std::min(kEventLookMs, clock.LeftMs());
    const bool signalled = platform::AwaitRequest(event, look);
    const unsigned passed = clock.Step(look);
    if (Ended(block, &ok))
      return ok;
    if (signalled) {
      platform::ResetEvent(event);
      PassThroughSleep(kSpuriousPauseMs);
      clock.Step(kSpuriousPauseMs);
    } else if (passed < look / 2) {
      // The wait itself failed: the status and the clock still end the loop,
      // without spinning on a wait that keeps failing.
      PassThroughSleep(kFallbackPollMs);
      clock.Step(kFallbackPollMs);
    }
  }
}

#ifdef FWUPD_TEST_HOOKS
void wnaspi95_test::SetWaitLimitMs(unsigned ms) {
  LimitOverrideMs = ms;
  Distrusted = false;
  DistrustBudgetMs = 0;
}
#endif
