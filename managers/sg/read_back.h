// After a drive took new microcode (its committing WRITE BUFFER completed),
// the revision it runs now: wait for it to come back from its reset, then
// ask it with INQUIRY. Only commands that change nothing are sent, after the
// last one that changes the drive.
#pragma once

#include <functional>
#include <string>

namespace sgaspi {

// A drive restarting on new microcode answers again within a few seconds;
// one on USB that leaves the bus and is found anew takes about ten. Three
// times that, and the success box is not held back much longer by a drive
// that only comes back after a power cycle.
constexpr unsigned kReadBackWaitS = 30;
// Looks at the drive twice a second; the first look waits as long, since a
// drive may answer once more with its old microcode before it restarts.
constexpr unsigned kReadBackPauseMs = 500;

enum class Look {
  Answered, // `revision` holds what INQUIRY reported
  NotYet,   // unit attention, not ready, busy, no answer: look again
  Gone,     // the node is gone: look for the drive under a new node
};

// The drive's looks as the system makes them, replaced in tests.
struct ReadBackCalls {
  // TEST UNIT READY until it is past its reset, then INQUIRY, on the node
  // the update went through.
  std::function<Look(std::string &revision)> lookAtNode;
  // The same drive (vendor and product as before) under whatever node it
  // has now: Answered, or NotYet when it is not (yet) there.
  std::function<Look(std::string &revision, std::string &node)> lookForDrive;
  std::function<void()> pause;    // kReadBackPauseMs
  std::function<bool()> timeIsUp; // kReadBackWaitS since the commit completed
};

struct ReadBack {
  bool cameBack = false;
  std::string revision;
  std::string node; // where it answered, when not the node of the update
};

ReadBack WaitForRevision(const ReadBackCalls &calls);

} // namespace sgaspi
