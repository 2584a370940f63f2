// Asynchronous completion: status, data and sense arrive from the worker after
// the submission call has returned, and the event is signalled last.
#include "sim_harness.h"

#include <chrono>

#include <gtest/gtest.h>

using namespace simtest;

namespace {

const std::string kAsync = R"(transcript transcript.txt
result out
adapters 1
completion async 20000
device 0 2 type 5
drive 0 2 vendor "QUILMAR " product "CD-ROM QM-16"
drive 0 2 fail writebuffer 1 sense 5 0x24 0
)";

TEST(SimAsync, InquiryCompletesLaterAndSignalsTheEvent) {
  SimRun sim(kAsync);
  EventFd event;
  std::vector<uint8_t> buf(2048, 0);
  auto block = ExecBlock(0, 2, 0x48, {0x12, 0, 0, 0, 62, 0}, buf.data(), 62, event.Handle());
  EXPECT_EQ(sim.send(block.data()), 0u);
  EXPECT_EQ(StatusOf(block), 0) << "still pending when the call returns";
  EXPECT_FALSE(event.WaitSignalled(0));

  ASSERT_TRUE(event.WaitSignalled(5000));
  EXPECT_EQ(StatusOf(block), 1);
  EXPECT_EQ(std::string(buf.begin() + 8, buf.begin() + 28), "QUILMAR CD-ROM QM-16");
  EXPECT_EQ(event.Count(), 1u);
  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("postproc=1 ret=00 out="), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "DONE ha=0 tgt=2 op=12 status=01 sense=");
}

TEST(SimAsync, PolledFailureCarriesSenseWithTheStatus) {
  SimRun sim(kAsync);
  std::vector<uint8_t> data(16, 0x77);
  auto block = ExecBlock(0, 2, 0x10, {0x3B, 4, 0, 0, 0, 0, 0, 0, 16, 0}, data.data(), 16);
  EXPECT_EQ(sim.send(block.data()), 0u);
  EXPECT_EQ(WaitForStatus(block), 4);
  EXPECT_EQ(block[kSenseOff + 2], 5);
  EXPECT_EQ(block[kSenseOff + 12], 0x24);
  EXPECT_EQ(block[kSenseOff + 13], 0);
  // The second block is accepted and reaches the result files.
  auto next = ExecBlock(0, 2, 0x10, {0x3B, 5, 0, 0, 0, 0, 0, 0, 16, 0}, data.data(), 16);
  sim.send(next.data());
  EXPECT_EQ(WaitForStatus(next), 1);
  EXPECT_EQ(sim.ReadBytes("out/drive-0-2.firmware"), data);
}

TEST(SimAsync, ManyRequestsInTurnComplete) {
  SimRun sim("transcript transcript.txt\nadapters 1\ncompletion async 0\ndevice 0 0 type 5\n"
             "drive 0 0 vendor \"QUILMAR \"\n");
  for (int i = 0; i < 200; ++i) {
    EventFd event;
    auto block = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, event.Handle());
    ASSERT_EQ(sim.send(block.data()), 0u);
    ASSERT_TRUE(event.WaitSignalled(5000));
    ASSERT_EQ(StatusOf(block), 1);
  }
  EXPECT_EQ(sim.Transcript().size(), 400u);
}

TEST(SimAsync, BusyOnlyInStatusEndsTheRequestAndSignals) {
  SimRun sim(kAsync + "busy 1 status\n");
  EventFd event;
  auto block = ExecBlock(0, 2, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, event.Handle());
  EXPECT_EQ(sim.send(block.data()), 0u);
  EXPECT_EQ(StatusOf(block), 0xE5) << "busy is answered at once, not later";
  EXPECT_TRUE(event.WaitSignalled(0));
}

// The broken manager's ways, one after another on one drive: the second
// INQUIRY completes twice, the first TEST UNIT READY never, and the third
// submission signals the events of the two before it again.
TEST(SimAsync, BrokenManagerCompletesTwiceNeverAndSignalsStaleEvents) {
  SimRun sim("transcript transcript.txt\nadapters 1\ncompletion sync\nstale_signals at 3\n"
             "device 0 0 type 5\ndrive 0 0 vendor \"QUILMAR \" twice inquiry 2 hang tur 1\n");
  EventFd first, second, third;
  std::vector<uint8_t> buf(96, 0);
  auto inquiry = ExecBlock(0, 0, 0x48, {0x12, 0, 0, 0, 62, 0}, buf.data(), 62, first.Handle());
  EXPECT_EQ(sim.send(inquiry.data()), 1u);
  EXPECT_EQ(first.Count(), 1u);

  auto twice = ExecBlock(0, 0, 0x48, {0x12, 0, 0, 0, 62, 0}, buf.data(), 62, second.Handle());
  EXPECT_EQ(sim.send(twice.data()), 1u);
  // The copy is due 2 ms after the call returns; a loaded machine (the
  // sanitizer runs) may deschedule this thread for longer than that.
  uint64_t signals = second.Count();
  EXPECT_GE(signals, 1u) << "signalled before the call returned";
  if (signals == 1) {
    ASSERT_TRUE(second.WaitSignalled(5000)) << "the copy comes later";
    signals += second.Count(); // also orders the copy's writes before this thread
  }
  EXPECT_EQ(signals, 2u);

  auto hung = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, third.Handle());
  EXPECT_EQ(sim.send(hung.data()), 0u);
  EXPECT_TRUE(first.WaitSignalled(0)) << "stale signal";
  EXPECT_FALSE(third.WaitSignalled(100));
  EXPECT_EQ(StatusOf(hung), 0);

  const auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3], "DONE ha=0 tgt=0 op=12 status=01 sense=");
  EXPECT_EQ(lines[4], "DONE ha=0 tgt=0 op=12 status=01 sense=");
  EXPECT_EQ(lines[5], "STALE signals=2");
  EXPECT_EQ(lines[6].rfind("EXEC ha=0 tgt=0 flags=40", 0), 0u) << lines[6];
}

// A slow drive under completion sync: the chosen command is accepted pending
// and completed later; the others still complete before the call returns.
TEST(SimAsync, ASlowCommandCompletesLate) {
  SimRun sim("adapters 1\ncompletion sync\ndevice 0 0 type 5\ndrive 0 0 slow tur 2 300\n");
  EventFd first, second;
  auto quick = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, first.Handle());
  EXPECT_EQ(sim.send(quick.data()), 1u);
  const auto start = std::chrono::steady_clock::now();
  auto slow = ExecBlock(0, 0, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0, second.Handle());
  EXPECT_EQ(sim.send(slow.data()), 0u);
  EXPECT_EQ(StatusOf(slow), 0);
  ASSERT_TRUE(second.WaitSignalled(10000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  second.Count(); // orders the completion's writes before this thread
  EXPECT_EQ(StatusOf(slow), 1);
}

TEST(SimAsync, UnloadWithARequestInFlightIsSafe) {
  std::vector<uint8_t> block;
  {
    SimRun sim("adapters 1\ncompletion async 200000\ndevice 0 0 type 5\ndrive 0 0 byte0 5\n");
    block = ExecBlock(0, 0, 0x00, {0, 0, 0, 0, 0, 0}, nullptr, 0);
    EXPECT_EQ(sim.send(block.data()), 0u);
  }
  EXPECT_EQ(StatusOf(block), 0) << "dropped, never written after unload";
}

} // namespace
