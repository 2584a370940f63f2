// The DLL's two ASPI entry points. One request at a time: the census and
// every request run under one lock, and a request is complete when its call
// returns.
#include "device_io.h"
#include "manager.h"

#include <cstdint>

#include <windows.h>

namespace {

CRITICAL_SECTION gLock;
sptiaspi::DeviceIo *gIo = nullptr;
sptiaspi::Manager *gManager = nullptr;

sptiaspi::Manager &TheManager() {
  if (gManager == nullptr) {
    gIo = sptiaspi::MakeWin32DeviceIo().release();
    gManager = new sptiaspi::Manager(*gIo);
  }
  return *gManager;
}

class Hold {
public:
  Hold() { EnterCriticalSection(&gLock); }
  ~Hold() { LeaveCriticalSection(&gLock); }
  Hold(const Hold &) = delete;
  Hold &operator=(const Hold &) = delete;
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&gLock);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary, not by process end: let go of the drives.
    delete gManager;
    delete gIo;
    DeleteCriticalSection(&gLock);
  }
  return TRUE;
}

extern "C" __declspec(dllexport) std::uint32_t GetASPI32SupportInfo(void) {
  Hold hold;
  return TheManager().SupportInfo();
}

extern "C" __declspec(dllexport) std::uint32_t SendASPI32Command(void *srb) {
  Hold hold;
  return TheManager().Send(static_cast<std::uint8_t *>(srb));
}
