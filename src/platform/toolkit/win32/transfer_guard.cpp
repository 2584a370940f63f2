// Sleep and shutdown held off during a transfer (see transfer_guard.h). The
// shutdown reason functions came with Vista and are looked up at run time;
// older systems simply take the refusal.
#include "platform/toolkit/win32/transfer_guard.h"

#include "platform/kernel.h"

namespace toolkit {
namespace {

HWND Guarded = nullptr;

template <class Fn> Fn User32Entry(const char *name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

} // namespace

void BeginTransferGuard(HWND progressWindow) {
  if (Guarded != nullptr || progressWindow == nullptr)
    return;
  Guarded = progressWindow;
  platform::HoldOffIdleSleep(true);
  using CreateReasonFn = BOOL(WINAPI *)(HWND, LPCWSTR);
  static const auto createReason = User32Entry<CreateReasonFn>("ShutdownBlockReasonCreate");
  if (createReason != nullptr)
    createReason(progressWindow, L"Firmware update in progress");
}

void EndTransferGuard(HWND progressWindow) {
  if (Guarded == nullptr || progressWindow != Guarded)
    return;
  using DestroyReasonFn = BOOL(WINAPI *)(HWND);
  static const auto destroyReason = User32Entry<DestroyReasonFn>("ShutdownBlockReasonDestroy");
  if (destroyReason != nullptr)
    destroyReason(progressWindow);
  platform::HoldOffIdleSleep(false);
  Guarded = nullptr;
}

LRESULT AnswerQueryEndSession() {
  return TransferGuarded() ? FALSE : TRUE;
}

bool TransferGuarded() {
  return Guarded != nullptr;
}

} // namespace toolkit
