// Waiting for a pending request on Win32: MsgWaitForMultipleObjects (there
// since Windows 95 and NT 3.1) wakes for the event and for every message that
// arrives for the thread's windows, which are served at once.
#include "platform/kernel.h"
#include "platform/window_server.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {
// QS_ALLINPUT as 98 SE and NT 4.0 know it: the headers' own adds raw input,
// touch and pointer bits, and an older system fails a wait that asks for them.
constexpr DWORD kAllInput = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER |
                            QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;
} // namespace

bool AwaitRequest(Event *event, unsigned ms) {
  if (!detail::WindowsToServe()) {
    if (event != nullptr)
      return WaitForEvent(event, ms);
    SleepMs(ms);
    return false;
  }
  detail::ServeWindows(false);
  HANDLE handle = reinterpret_cast<HANDLE>(event);
  const DWORD count = event != nullptr ? 1 : 0;
  if (ms == 0) {
    if (count == 0)
      Sleep(0);
    return count == 1 && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  }
  const std::int64_t start = QueryCounter();
  const std::int64_t perMs = std::max<std::int64_t>(QueryCounterFrequency() / 1000, 1);
  for (;;) {
    const std::int64_t passed = (QueryCounter() - start) / perMs;
    if (passed >= ms)
      return false;
    const DWORD slice =
        static_cast<DWORD>(std::min<std::int64_t>(ms - passed, detail::kServeEveryMs));
    const DWORD woke =
        MsgWaitForMultipleObjects(count, count != 0 ? &handle : nullptr, FALSE, slice, kAllInput);
    if (count == 1 && woke == WAIT_OBJECT_0)
      return true;
    if (woke == WAIT_FAILED) {
      if (count == 1)
        return false; // the caller's to handle, as a failed WaitForEvent is
      Sleep(slice);
    }
    detail::ServeWindows(woke == WAIT_OBJECT_0 + count);
  }
}

} // namespace platform
