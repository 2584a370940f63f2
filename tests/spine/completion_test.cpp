// The completion waits: event notification and polling.
#include "spine_fixture.h"

#include "platform/kernel.h"
#include "test_support.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <thread>

namespace {

class SpineCompletion : public spine::SpineTest {};

void Signal(platform::Event *event) {
  test_support::SignalPostProc(platform::EventPostProc(event));
}

void SetStatus(void *block, std::uint8_t status) {
  __atomic_store_n(static_cast<std::uint8_t *>(block) + 1, status, __ATOMIC_RELEASE);
}

// The operations poll every 10 ms for a query and every time slice for a
// firmware command.
bool PollAsTheOperationsDo(void *block, unsigned ms) {
  return CompleteByPolling(block, ms, ms == 0 ? WaitPolicy::Firmware : WaitPolicy::Query);
}

// Runs CompleteByEvent on an event nobody signals; a wait would never end, so
// after a grace period the test signals it itself and reports the wait.
bool CompletesWithoutWaiting(std::uint8_t status, std::uint32_t submitResult, bool *result) {
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd block{};
  block.SRB_Status = status;
  auto done =
      std::async(std::launch::async, [&] { return CompleteByEvent(&block, event, submitResult); });
  const bool prompt = done.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  if (!prompt)
    Signal(event);
  *result = done.get();
  platform::CloseEvent(event);
  return prompt;
}

TEST_F(SpineCompletion, EventNotWaitedOnWhenSubmissionDidNotPend) {
  struct Case {
    std::uint8_t status;
    std::uint32_t submitResult;
    bool success;
  } const cases[] = {{SS_COMP, SS_COMP, true},
                     {0x04, 0x04, false},
                     {0xE5, 0xE5, false},
                     {SS_COMP, 0x04, true},
                     {SS_PENDING, 0xE5, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "status " << int(c.status) << " result " << c.submitResult);
    bool result = !c.success;
    EXPECT_TRUE(CompletesWithoutWaiting(c.status, c.submitResult, &result));
    EXPECT_EQ(result, c.success);
  }
}

TEST_F(SpineCompletion, PendingSubmissionWaitsForTheEvent) {
  platform::Event *event = platform::CreateManualResetEvent();
  ASSERT_NE(event, nullptr);
  SRB_ExecSCSICmd block{};
  std::thread manager([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetStatus(&block, SS_COMP);
    Signal(event);
  });
  EXPECT_TRUE(CompleteByEvent(&block, event, SS_PENDING));
  manager.join();
  platform::CloseEvent(event);
}

// A signal that does not belong to this request's completion (a busy answer
// signalled it, or a manager signals late or twice) is waited past: the wait
// ends on the status, never before.
TEST_F(SpineCompletion, EventSignalledEarlyIsWaitedPast) {
  wnaspi95_test::SetSleepRecorder(nullptr);
  platform::Event *event = platform::CreateManualResetEvent();
  ASSERT_NE(event, nullptr);
  Signal(event);
  SRB_ExecSCSICmd block{};
  std::thread manager([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Signal(event); // once more, still before the status
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    block.SenseArea[2] = 5;
    SetStatus(&block, 0x04);
    Signal(event);
  });
  EXPECT_FALSE(CompleteByEvent(&block, event, SS_PENDING));
  EXPECT_EQ(__atomic_load_n(&block.SRB_Status, __ATOMIC_ACQUIRE), 0x04);
  EXPECT_EQ(block.SenseArea[2], 5);
  manager.join();
  platform::CloseEvent(event);
}

// A request that is never completed: every wait gives up at its limit and
// reports failure, with the status still pending.
TEST_F(SpineCompletion, EveryWaitEndsAtItsLimit) {
  wnaspi95_test::SetSleepRecorder(nullptr);
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd block{};
  for (int wait = 0; wait < 4; ++wait) {
    SCOPED_TRACE(wait);
    wnaspi95_test::SetWaitLimitMs(50); // each as the run's first abandoned request
    if (wait == 3)
      Signal(event); // signalled, yet the status never changes
    const auto start = std::chrono::steady_clock::now();
    const bool ok = wait == 0   ? CompleteByPolling(&block, 10, WaitPolicy::Query)
                    : wait == 1 ? CompleteByPolling(&block, 0, WaitPolicy::Firmware)
                                : CompleteByEvent(&block, event, SS_PENDING);
    EXPECT_FALSE(ok);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    // Steps shorter than a millisecond (the 0 ms poll) must add up as well.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(block.SRB_Status, SS_PENDING);
  }
  wnaspi95_test::SetWaitLimitMs(0);
  platform::CloseEvent(event);
}

TEST_F(SpineCompletion, PollingNeverSleepsWhenTheStatusIsFinal) {
  for (unsigned ms : {10u, 0u}) {
    for (std::uint8_t status : {SS_COMP, std::uint8_t{0x04}, std::uint8_t{0xE5}}) {
      spine::Sleeps().clear();
      SRB_ExecSCSICmd block{};
      block.SRB_Status = status;
      EXPECT_EQ(PollAsTheOperationsDo(&block, ms), status == SS_COMP);
      EXPECT_TRUE(spine::Sleeps().empty());
    }
  }
}

// The status changes behind the loop's back (here: from the sleep itself);
// every pass must read it afresh.
SRB_GDEVBlock *Watched = nullptr;
void CompleteOnThirdSleep(unsigned ms) {
  spine::RecordSleep(ms);
  if (spine::Sleeps().size() == 3)
    SetStatus(Watched, 0x04);
}

TEST_F(SpineCompletion, PollingSleepsBetweenReadsUntilTheStatusChanges) {
  wnaspi95_test::SetSleepRecorder(&CompleteOnThirdSleep);
  for (unsigned ms : {10u, 0u}) {
    spine::Sleeps().clear();
    SRB_GDEVBlock block{};
    Watched = &block;
    EXPECT_FALSE(PollAsTheOperationsDo(&block, ms));
    EXPECT_EQ(spine::Sleeps(), std::vector<unsigned>(3, ms));
  }
}

TEST_F(SpineCompletion, PollingSeesAStatusWrittenByAnotherThread) {
  wnaspi95_test::SetSleepRecorder(nullptr);
  for (unsigned ms : {10u, 0u}) {
    SRB_ExecSCSICmd block{};
    std::thread manager([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      SetStatus(&block, SS_COMP);
    });
    EXPECT_TRUE(PollAsTheOperationsDo(&block, ms));
    manager.join();
  }
}

// Once one request has been abandoned, later queries get a short limit and
// all of them together a small budget, so a manager that answers nothing
// cannot hold the run for hours; a firmware command keeps its whole limit.
TEST_F(SpineCompletion, AfterAnAbandonedRequestTheRunWaitsLittle) {
  using Clock = std::chrono::steady_clock;
  wnaspi95_test::SetSleepRecorder(nullptr);
  wnaspi95_test::SetWaitLimitMs(1200); // later queries 50 ms, 600 ms in all
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd block{};
  auto start = Clock::now();
  EXPECT_FALSE(CompleteByPolling(&block, 10, WaitPolicy::Query));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1200));

  start = Clock::now();
  for (int wait = 0; wait < 30; ++wait)
    EXPECT_FALSE(wait % 2 ? CompleteByPolling(&block, 10, WaitPolicy::Query)
                          : CompleteByEvent(&block, event, SS_PENDING));
  // 30 full limits would be 36 s, 30 short ones 1.5 s.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1200));

  start = Clock::now();
  EXPECT_FALSE(CompleteByPolling(&block, 0, WaitPolicy::Firmware));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1200));

  SRB_ExecSCSICmd answered{};
  answered.SRB_Status = SS_COMP; // what has ended is still taken
  EXPECT_TRUE(CompleteByPolling(&answered, 10, WaitPolicy::Query));
  EXPECT_TRUE(CompleteByEvent(&answered, event, SS_PENDING));
  wnaspi95_test::SetWaitLimitMs(0);
  platform::CloseEvent(event);
}

// The process is stopped (here: one sleep of the wait lasts three limits)
// and the manager completes the request right after it goes on: the time of
// the stop does not count, and the completion is taken.
SRB_ExecSCSICmd *Stopped = nullptr;
std::thread LateManager;
void StopOnSecondSleep(unsigned ms) {
  spine::RecordSleep(ms);
  if (spine::Sleeps().size() == 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * 800));
    LateManager = std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      SetStatus(Stopped, SS_COMP);
    });
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

TEST_F(SpineCompletion, AStopLongerThanTheLimitDoesNotAbandonTheRequest) {
  wnaspi95_test::SetSleepRecorder(&StopOnSecondSleep);
  wnaspi95_test::SetWaitLimitMs(800); // far above the late completion, even on a loaded machine
  for (unsigned ms : {10u, 0u}) {
    SCOPED_TRACE(ms);
    spine::Sleeps().clear();
    SRB_ExecSCSICmd block{};
    Stopped = &block;
    EXPECT_TRUE(PollAsTheOperationsDo(&block, ms));
    LateManager.join();
  }
  wnaspi95_test::SetWaitLimitMs(0);
}

// A manager that signals before it writes the status, and one that keeps
// signalling while the request runs: the status decides, soon after it is
// written, long before the limit.
TEST_F(SpineCompletion, EarlyAndRepeatedSignalsEndOnTheStatus) {
  wnaspi95_test::SetSleepRecorder(nullptr);
  wnaspi95_test::SetWaitLimitMs(20000);
  for (bool storm : {false, true}) {
    SCOPED_TRACE(storm ? "storm" : "early signal");
    platform::Event *event = platform::CreateManualResetEvent();
    SRB_ExecSCSICmd block{};
    std::atomic<bool> done{false};
    std::thread manager([&] {
      Signal(event);
      for (int i = 0; storm && i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        Signal(event);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      SetStatus(&block, SS_COMP);
      done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CompleteByEvent(&block, event, SS_PENDING));
    EXPECT_TRUE(done);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    manager.join();
    platform::CloseEvent(event);
  }
  wnaspi95_test::SetWaitLimitMs(0);
}

// A window server standing in for a toolkit: counts its calls, and checks
// that it is never entered twice although it waits for a request itself.
int Served = 0;
int Depth = 0;
bool NestedOrUnflagged = false;
void CountingServer() {
  ++Served;
  if (++Depth > 1 || !platform::ServingWindowsInWait())
    NestedOrUnflagged = true;
  platform::AwaitRequest(nullptr, 1); // a handler that waited would not serve again
  --Depth;
}

// Each wait keeps the windows served while its request is pending, however
// it passes its time, and leaves them alone once it has returned.
TEST_F(SpineCompletion, EveryWaitServesTheWindowsWhilePending) {
  wnaspi95_test::SetSleepRecorder(nullptr);
  platform::SetWindowServer(&CountingServer);
  for (int wait = 0; wait < 3; ++wait) {
    SCOPED_TRACE(wait);
    Served = 0;
    NestedOrUnflagged = false;
    platform::Event *event = platform::CreateManualResetEvent();
    SRB_ExecSCSICmd block{};
    std::thread manager([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      SetStatus(&block, SS_COMP);
      Signal(event);
    });
    EXPECT_TRUE(wait == 0   ? CompleteByPolling(&block, 10, WaitPolicy::Query)
                : wait == 1 ? CompleteByPolling(&block, 0, WaitPolicy::Firmware)
                            : CompleteByEvent(&block, event, SS_PENDING));
    manager.join();
    // Served every 20 ms: 15 times in 300 ms, at least a few on a loaded machine.
    EXPECT_GE(Served, 3);
    EXPECT_FALSE(NestedOrUnflagged);
    EXPECT_FALSE(platform::ServingWindowsInWait());
    platform::CloseEvent(event);
  }
  platform::SetWindowServer(nullptr);
}

} // namespace
