// Holding a drive for a flash, from before the first command that changes
// it until the process ends. The block node (/dev/srN) is opened
// O_RDWR | O_NONBLOCK | O_EXCL: the kernel stops polling the drive's media,
// and mounts and other exclusive opens fail with EBUSY. The sg node is
// reopened with O_EXCL: every other open of it fails with EBUSY. Plain opens
// of the block node are still allowed by the kernel.
#pragma once

#include <functional>
#include <string>

namespace sgaspi {

// The system calls of a hold, replaced in tests. The opens return -1 and
// errno on failure.
struct HoldCalls {
  std::function<int(const std::string &path, bool exclusive)> openSg;
  std::function<int(const std::string &path)> openBlockExclusive;
  std::function<void(int fd)> close;
  std::function<void()> pause; // before trying a node another program has open again
};

// A probe of the drive by another program (udev's, sg_inq) keeps a node open
// for a moment: tries 100 ms apart, for about two seconds.
constexpr int kHoldTries = 20;

enum class HoldOutcome {
  Held,   // the sg node, and the block node unless blockErrno says why not
  Busy,   // another program holds `busyNode`: nothing may be sent
  Failed, // the sg node cannot be opened exclusively (sgErrno): nothing may be sent
};

struct Hold {
  HoldOutcome outcome = HoldOutcome::Held;
  int sgFd = -1;    // the node to send through from now on, -1 when none
  int blockFd = -1; // held until the process ends, -1 when not
  int blockErrno = 0, sgErrno = 0;
  std::string busyNode;
};

// `sharedFd` is the sg node as the census opened it. It is closed, since an
// exclusive open of an sg node fails while any other open exists, ours
// included; when the hold is not taken, the sg node is open shared again.
// `blockPath` is empty when the drive has no block node.
Hold TakeHold(const HoldCalls &calls, int sharedFd, const std::string &sgPath,
              const std::string &blockPath);

} // namespace sgaspi
