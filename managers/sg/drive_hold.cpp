#include "drive_hold.h"

#include <cerrno>

namespace sgaspi {
namespace {

template <typename Open> int OpenRetrying(const HoldCalls &calls, Open open) {
  for (int tries = 1;; ++tries) {
    const int fd = open();
    if (fd >= 0 || errno != EBUSY || tries == kHoldTries)
      return fd;
    calls.pause();
  }
}

} // namespace

Hold TakeHold(const HoldCalls &calls, int sharedFd, const std::string &sgPath,
              const std::string &blockPath) {
  Hold h;
  h.sgFd = sharedFd;
  if (!blockPath.empty()) {
    h.blockFd = OpenRetrying(calls, [&] { return calls.openBlockExclusive(blockPath); });
    if (h.blockFd < 0)
      h.blockErrno = errno;
    if (h.blockErrno == EBUSY) { // mounted, or held by a burner
      h.outcome = HoldOutcome::Busy;
      h.busyNode = blockPath;
      return h;
    }
  }
  calls.close(sharedFd);
  h.sgFd = OpenRetrying(calls, [&] { return calls.openSg(sgPath, true); });
  if (h.sgFd >= 0)
    return h;
  h.sgErrno = errno;
  h.outcome = h.sgErrno == EBUSY ? HoldOutcome::Busy : HoldOutcome::Failed;
  if (h.outcome == HoldOutcome::Busy)
    h.busyNode = sgPath;
  if (h.blockFd >= 0)
    calls.close(h.blockFd);
  h.blockFd = -1;
  h.sgFd = calls.openSg(sgPath, false); // for the commands that change nothing
  return h;
}

} // namespace sgaspi
