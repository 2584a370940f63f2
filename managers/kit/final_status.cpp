#include "final_status.h"

#include "srb_layout.h"

#include <atomic>
#include <cerrno>
#include <climits>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace aspikit {

void PublishStatus(std::uint8_t *block, std::uint8_t status) {
  std::atomic_ref<std::uint8_t>(block[kStatus]).store(status, std::memory_order_release);
}

void SignalEvent(std::uintptr_t postProc) {
  if (postProc == 0)
    return;
#ifdef _WIN32
  SetEvent(reinterpret_cast<HANDLE>(postProc));
#else
  if (postProc > std::uintptr_t{INT_MAX})
    return; // not a descriptor number
  const std::uint64_t one = 1;
  // A bad descriptor is the caller's fault: there is no one to tell.
  ssize_t n;
  do
    n = ::write(static_cast<int>(postProc), &one, sizeof one);
  while (n < 0 && errno == EINTR);
#endif
}

void FinishRequest(std::uint8_t *block, std::uint8_t status, bool notify, std::uintptr_t postProc) {
  PublishStatus(block, status);
  if (notify)
    SignalEvent(postProc);
}

} // namespace aspikit
