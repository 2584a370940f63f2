#include "read_back.h"

namespace sgaspi {

ReadBack WaitForRevision(const ReadBackCalls &calls) {
  ReadBack result;
  bool gone = false;
  do {
    calls.pause();
    const Look look =
        gone ? calls.lookForDrive(result.revision, result.node) : calls.lookAtNode(result.revision);
    if (look == Look::Answered) {
      result.cameBack = true;
      return result;
    }
    gone = gone || look == Look::Gone;
  } while (!calls.timeIsUp());
  result.revision.clear();
  result.node.clear();
  return result;
}

} // namespace sgaspi
