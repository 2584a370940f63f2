// Shutdown refused during a transfer (see transfer_guard.h). The shutdown
// reason functions came with Vista and are looked up at run time; older
// systems simply take the refusal.
#include "platform/toolkit/win32/transfer_guard.h"

#include "platform/kernel.h"

namespace toolkit {
namespace {

HWND Guarding = nullptr;

template <class Fn> Fn User32Entry(const char *name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

void OnTransferHold(bool held) {
  if (Guarding == nullptr)
    return;
  if (held) {
    using CreateReasonFn = BOOL(WINAPI *)(HWND, LPCWSTR);
    static const auto createReason = User32Entry<CreateReasonFn>("ShutdownBlockReasonCreate");
    if (createReason != nullptr)
      createReason(Guarding, L"Firmware update in progress");
  } else {
    using DestroyReasonFn = BOOL(WINAPI *)(HWND);
    static const auto destroyReason = User32Entry<DestroyReasonFn>("ShutdownBlockReasonDestroy");
    if (destroyReason != nullptr)
      destroyReason(Guarding);
  }
}

} // namespace

void GuardTransfersWith(HWND appWindow) {
  Guarding = appWindow;
  platform::ListenToTransferHold(OnTransferHold);
}

LRESULT AnswerQueryEndSession() {
  return platform::TransferHeld() ? FALSE : TRUE;
}

bool TransferGuarded() {
  return platform::TransferHeld();
}

} // namespace toolkit
