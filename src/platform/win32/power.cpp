// Idle sleep held off with SetThreadExecutionState, looked up at run time:
// Windows 95 and NT 4.0 do not have it (and do not sleep on their own).
#include "platform/kernel.h"

#include <windows.h>

namespace platform {

void HoldOffIdleSleep(bool hold) {
  using SetStateFn = EXECUTION_STATE(WINAPI *)(EXECUTION_STATE);
  static const auto setState = reinterpret_cast<SetStateFn>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadExecutionState")));
  if (setState != nullptr)
    setState(hold ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

} // namespace platform
