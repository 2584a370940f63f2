// SubmitRequest: every request that goes through it holds AspiLock around the
// calls into the manager, and a busy manager is tried at most three times.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "aspdebug/aspdebug.h"
#include "platform/kernel.h"

#include <cstring>

platform::Lock *AspiLock = nullptr;

namespace {

constexpr unsigned kAttempts = 3;
constexpr unsigned kBusyPauseMs = 50;

std::uintptr_t BufferAddress(const void *block) {
  void *pointer = nullptr;
  std::memcpy(&pointer,
              static_cast<const std::uint8_t *>(block) + offsetof(SRB_ExecSCSICmd, SRB_BufPointer),
              sizeof pointer);
  return reinterpret_cast<std::uintptr_t>(pointer);
}

std::uint32_t SendOnce(void *block) {
  if (AspiSend == nullptr) {
    WriteStatus(block, SS_ERR);
    return SS_ERR;
  }
  return AspiSend(block);
}

std::uint32_t SendWithBusyRetry(void *block) {
  std::uint32_t result = 0;
  for (unsigned attempt = 1;; ++attempt) {
    result = SendOnce(block);
    const bool busy = result == SS_ASPI_IS_BUSY || ReadStatus(block) == SS_ASPI_IS_BUSY;
    if (busy && attempt < kAttempts) {
      result = SS_ASPI_IS_BUSY;
      TraceNote("ASPI returned E5 - will retry.");
      WriteStatus(block, 0);
    }
    if (busy)
      PassThroughSleep(kBusyPauseMs); // also after the last attempt
    if (attempt == kAttempts || result != SS_ASPI_IS_BUSY)
      return result;
  }
}

} // namespace

void InitPassThrough() {
  if (AspiLock == nullptr)
    AspiLock = platform::CreateLock();
}

void DonePassThrough() {
  platform::DeleteLock(AspiLock);
  AspiLock = nullptr;
}

std::uint32_t SubmitRequest(void *block) {
  InitPassThrough(); // a no-op after process start
  platform::EnterLock(AspiLock);
  std::uint32_t result = 0;
  if (static_cast<const std::uint8_t *>(block)[0] != SC_EXEC_SCSI_CMD) {
    result = SendOnce(block);
  } else {
    if (BufferAddress(block) % 4 != 0)
      TraceNote("NOT ALIGNED TO DWORD.");
    result = SendWithBusyRetry(block);
  }
  SettleRefused(block, result);
  platform::LeaveLock(AspiLock);
  return result;
}
