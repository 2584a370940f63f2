// A broken manager's ways with the caller's events and process: closing an
// event once signalled, signals, signalling early, event storms.
#include "sim_harness.h"

#include <gtest/gtest.h>

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

} // namespace
