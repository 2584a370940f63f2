// A broken manager's ways with the caller's events and process: closing an
// event once signalled, signals, signalling early, event storms.
#include "sim_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include <fcntl.h>

using namespace simtest;

namespace {

std::string Bench(const std::string &completion, const std::string &extra) {
  return "transcript transcript.txt\nadapters 1\ncompletion " + completion +
         "\ndevice 0 0 type 5\ndrive 0 0 vendor \"QUILMAR \"\n" + extra;
}

bool IsOpen(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

struct CloseCase {
  const char *completion;
  const char *extra;
  uint8_t flags;
  bool closed;
  const char *done; // the DONE line of the request
};

const CloseCase kCloseCases[] = {
    {"sync", "", 0x40, true, "DONE ha=0 tgt=0 op=00 status=01 sense="},
    {"async 2000", "", 0x40, true, "DONE ha=0 tgt=0 op=00 status=01 sense="},
    {"async 2000", "busy 1 status\n", 0x40, true, "DONE ha=0 tgt=0 op=00 status=e5 sense="},
    {"sync", "", 0x00, false, "DONE ha=0 tgt=0 op=00 status=01 sense="},
    {"async 2000", "", 0x00, false, "DONE ha=0 tgt=0 op=00 status=01 sense="},
};

// The manager is lent a second number for the event, so the test keeps the
// event itself and can see it was signalled before the number was closed.
TEST(SimDisturbance, CloseEventsClosesTheEventOnceSignalled) {
  for (const CloseCase &row : kCloseCases) {
    SCOPED_TRACE(std::string(row.completion) + " " + row.extra + " flags " +
                 std::to_string(row.flags));
    SimRun sim(Bench(row.completion, std::string("close_events\n") + row.extra));
    EventFd event;
    const int lent = dup(event.Fd());
    auto block = ExecBlock(0, 0, row.flags, {0, 0, 0, 0, 0, 0}, nullptr, 0, uintptr_t(lent));
    sim.send(block.data());
    EXPECT_NE(WaitForStatus(block), 0);
    const auto lines = sim.TranscriptOf(row.closed ? 3 : 2);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], row.done);
    if (row.closed) {
      EXPECT_EQ(lines.size(), 3u);
      EXPECT_EQ(lines.back(), "CLOSE_EVENT");
      EXPECT_FALSE(IsOpen(lent));
      EXPECT_EQ(event.Count(), 1u);
    } else {
      EXPECT_EQ(lines.size(), 2u);
      EXPECT_TRUE(IsOpen(lent));
      close(lent);
    }
  }
}

// What the test's handler saw of the last signal: on which thread it ran,
// and the watched request's status at that moment.
std::atomic<int> signalsSeen{0};
std::atomic<pid_t> handlerThread{0};
std::atomic<int> statusAtSignal{-1};
std::atomic<const uint8_t *> watchedStatus{nullptr};

extern "C" void RecordSignal(int) {
  signalsSeen.fetch_add(1);
  handlerThread.store(gettid());
  if (const uint8_t *status = watchedStatus.load())
    statusAtSignal.store(__atomic_load_n(status, __ATOMIC_ACQUIRE));
}

// Catches one signal for the scope of a test row.
class CatchSignal {
public:
  explicit CatchSignal(int signal) : signal_(signal) {
    struct sigaction sa {};
    sa.sa_handler = RecordSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(signal_, &sa, &old_);
    signalsSeen = 0;
    handlerThread = 0;
    statusAtSignal = -1;
    watchedStatus = nullptr;
  }
  ~CatchSignal() { sigaction(signal_, &old_, nullptr); }

private:
  int signal_;
  struct sigaction old_ {};
};

struct SignalCase {
  const char *name;
  int signal;
  bool async;
};

const SignalCase kSignalCases[] = {
    {"HUP", SIGHUP, false},  {"INT", SIGINT, true},    {"TERM", SIGTERM, false},
    {"QUIT", SIGQUIT, true}, {"PIPE", SIGPIPE, false}, {"10", 10, true},
};

// The second TEST UNIT READY raises the signal: under sync on the caller's
// thread before the command is carried out, under async on the manager's
// thread before the status is published; either way the command completes.
TEST(SimDisturbance, SignalAtTheNthCommandOfAKind) {
  for (const SignalCase &row : kSignalCases) {
    SCOPED_TRACE(std::string(row.name) + (row.async ? " async" : " sync"));
    CatchSignal caught(row.signal);
    SimRun sim(Bench(row.async ? "async 50000" : "sync",
                     std::string("drive 0 0 signal ") + row.name + " tur 2\n"));
    std::vector<std::vector<uint8_t>> blocks(3, ExecBlock(0, 0, 0, {0, 0, 0, 0, 0, 0}, nullptr, 0));
    for (size_t i = 0; i < blocks.size(); ++i) {
      watchedStatus = &blocks[i][1];
      sim.send(blocks[i].data());
      if (i == 1 && row.async) {
        EXPECT_EQ(signalsSeen.load(), 0) << "not before the completion";
      }
      EXPECT_EQ(WaitForStatus(blocks[i]), 1);
      EXPECT_EQ(signalsSeen.load(), i == 0 ? 0 : 1);
    }
    EXPECT_EQ(statusAtSignal.load(), 0);
    EXPECT_EQ(handlerThread.load() == gettid(), !row.async);
    const std::string signal = std::string("SIGNAL sig=") + row.name;
    const auto lines = sim.TranscriptOf(7);
    ASSERT_EQ(lines.size(), 7u);
    // A synchronous EXEC line is written once its outcome is known.
    EXPECT_EQ(lines[row.async ? 3 : 2], signal);
    EXPECT_EQ(lines[4].rfind("DONE", 0), 0u) << lines[4];
  }
}

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// The event comes with the data in place but the status still pending; the
// status follows the wait, with its DONE line, and no second signal.
TEST(SimDisturbance, SignalEarlySignalsBeforeTheStatusIsPublished) {
  SimRun sim(Bench("async 2000", "signal_early 200000\n"));
  EventFd event;
  std::vector<uint8_t> buf(62, 0);
  auto block = ExecBlock(0, 0, 0x48, {0x12, 0, 0, 0, 62, 0}, buf.data(), 62, event.Handle());
  ASSERT_EQ(sim.send(block.data()), 0u);
  ASSERT_TRUE(event.WaitSignalled(5000));
  const auto signalled = Clock::now();
  EXPECT_EQ(StatusOf(block), 0);
  EXPECT_EQ(event.Count(), 1u); // also orders the data's writes before this thread
  EXPECT_EQ(std::string(buf.begin() + 8, buf.begin() + 16), "QUILMAR ");
  EXPECT_EQ(sim.Transcript().size(), 1u) << "no DONE line yet";

  EXPECT_EQ(WaitForStatus(block), 1);
  EXPECT_GE(Clock::now() - signalled, milliseconds(150));
  EXPECT_EQ(sim.TranscriptOf(2).back(), "DONE ha=0 tgt=0 op=12 status=01 sense=");
  EXPECT_FALSE(event.WaitSignalled(50)) << "signalled once only";
}

// The event of a pending request is signalled over and over until it
// completes, and not after.
TEST(SimDisturbance, EventStormWhileARequestIsPending) {
  SimRun sim(Bench("async 300000", "event_storm 1000\n"));
  EventFd stormed, quiet;
  auto pending = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, stormed.Handle());
  auto polled = ExecBlock(0, 0, 0x00, {0, 0, 0, 0, 0, 0}, nullptr, 0, quiet.Handle());
  ASSERT_EQ(sim.send(pending.data()), 0u);
  ASSERT_EQ(sim.send(polled.data()), 0u);
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_EQ(StatusOf(pending), 0);
  EXPECT_GE(stormed.Count(), 20u);
  EXPECT_EQ(quiet.Count(), 0u) << "a request without notification is not stormed";

  EXPECT_EQ(WaitForStatus(pending), 1);
  EXPECT_EQ(WaitForStatus(polled), 1);
  std::this_thread::sleep_for(milliseconds(20));
  stormed.Count();
  EXPECT_FALSE(stormed.WaitSignalled(50)) << "the storm ends with the request";
}

// Unloading the library ends a storm at once, though its request is pending.
TEST(SimDisturbance, EventStormEndsWhenTheLibraryIsUnloaded) {
  EventFd event;
  auto block = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, event.Handle());
  std::optional<SimRun> sim;
  sim.emplace(Bench("async 5000000", "event_storm 100\n"));
  ASSERT_EQ(sim->send(block.data()), 0u);
  ASSERT_TRUE(event.WaitSignalled(5000));
  const auto start = Clock::now();
  sim.reset();
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  event.Count();
  EXPECT_FALSE(event.WaitSignalled(50));
  EXPECT_EQ(StatusOf(block), 0);
}

} // namespace
