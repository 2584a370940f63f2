// Taking a drive for a flash against scripted opens: what is opened, with
// which exclusivity, in which order; what a busy node or a missing right
// leads to; and that the sg node stays usable when the hold is refused.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "drive_hold.h"

namespace sgaspi {
namespace {

// Each open answers the next entry of its script (the last one repeats): an
// fd, or a negative errno.
struct ScriptedCalls {
  std::map<std::string, std::vector<int>> script;
  std::map<std::string, std::size_t> used;
  std::vector<std::string> calls;

  int Answer(const std::string &key) {
    const std::vector<int> &answers = script.at(key);
    const int a = answers[std::min(used[key]++, answers.size() - 1)];
    calls.push_back(key);
    if (a >= 0)
      return a;
    errno = -a;
    return -1;
  }
  HoldCalls Make() {
    HoldCalls c;
    c.openSg = [this](const std::string &p, bool excl) {
      return Answer((excl ? "excl " : "shared ") + p);
    };
    c.openBlockExclusive = [this](const std::string &p) { return Answer("block " + p); };
    c.close = [this](int fd) { calls.push_back("close " + std::to_string(fd)); };
    c.pause = [this] { calls.push_back("pause"); };
    return c;
  }
};

std::vector<std::string> Repeat(std::vector<std::string> once, int times, bool pauses) {
  std::vector<std::string> out;
  for (int i = 0; i < times; ++i) {
    if (i && pauses)
      out.push_back("pause");
    out.insert(out.end(), once.begin(), once.end());
  }
  return out;
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

constexpr int kShared = 3;

TEST(DriveHold, WhatIsOpenedAndWhatARefusalLeaves) {
  const std::vector<std::string> retriedBlock = Repeat({"block /dev/sr0"}, kHoldTries, true);
  const std::vector<std::string> retriedSg = Repeat({"excl /dev/sg0"}, kHoldTries, true);
  struct Row {
    const char *name;
    std::string blockPath;
    std::map<std::string, std::vector<int>> script;
    HoldOutcome outcome;
    int sgFd, blockFd, blockErrno;
    std::string busyNode;
    std::vector<std::string> calls;
  } const table[] = {
      {"both nodes held, the block node first while the shared sg node still is open",
       "/dev/sr0",
       {{"block /dev/sr0", {10}}, {"excl /dev/sg0", {11}}},
       HoldOutcome::Held,
       11,
       10,
       0,
       "",
       {"block /dev/sr0", "close 3", "excl /dev/sg0"}},
      {"a probe's moment on the block node is waited out",
       "/dev/sr0",
       {{"block /dev/sr0", {-EBUSY, -EBUSY, 10}}, {"excl /dev/sg0", {11}}},
       HoldOutcome::Held,
       11,
       10,
       0,
       "",
       {"block /dev/sr0", "pause", "block /dev/sr0", "pause", "block /dev/sr0", "close 3",
        "excl /dev/sg0"}},
      {"mounted: refused, the sg node never let go",
       "/dev/sr0",
       {{"block /dev/sr0", {-EBUSY}}},
       HoldOutcome::Busy,
       kShared,
       -1,
       EBUSY,
       "/dev/sr0",
       retriedBlock},
      {"sg node open elsewhere: refused, the block node let go, the sg node shared again",
       "/dev/sr0",
       {{"block /dev/sr0", {10}}, {"excl /dev/sg0", {-EBUSY}}, {"shared /dev/sg0", {12}}},
       HoldOutcome::Busy,
       12,
       -1,
       0,
       "/dev/sg0",
       Join({{"block /dev/sr0", "close 3"}, retriedSg, {"close 10", "shared /dev/sg0"}})},
      {"no rights to the block node: the sg node alone",
       "/dev/sr0",
       {{"block /dev/sr0", {-EACCES}}, {"excl /dev/sg0", {11}}},
       HoldOutcome::Held,
       11,
       -1,
       EACCES,
       "",
       {"block /dev/sr0", "close 3", "excl /dev/sg0"}},
      {"no block node: the sg node alone",
       "",
       {{"excl /dev/sg0", {11}}},
       HoldOutcome::Held,
       11,
       -1,
       0,
       "",
       {"close 3", "excl /dev/sg0"}},
      {"sg node gone: failed at once, nothing left open",
       "/dev/sr0",
       {{"block /dev/sr0", {10}}, {"excl /dev/sg0", {-ENODEV}}, {"shared /dev/sg0", {-ENODEV}}},
       HoldOutcome::Failed,
       -1,
       -1,
       0,
       "",
       {"block /dev/sr0", "close 3", "excl /dev/sg0", "close 10", "shared /dev/sg0"}},
  };
  for (const Row &row : table) {
    SCOPED_TRACE(row.name);
    ScriptedCalls calls;
    calls.script = row.script;
    const Hold h = TakeHold(calls.Make(), kShared, "/dev/sg0", row.blockPath);
    EXPECT_EQ(h.outcome, row.outcome);
    EXPECT_EQ(h.sgFd, row.sgFd);
    EXPECT_EQ(h.blockFd, row.blockFd);
    EXPECT_EQ(h.blockErrno, row.blockErrno);
    EXPECT_EQ(h.busyNode, row.busyNode);
    EXPECT_EQ(calls.calls, row.calls);
  }
}

} // namespace
} // namespace sgaspi
