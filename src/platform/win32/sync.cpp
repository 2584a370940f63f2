// Critical sections and manual-reset events on Win32. The event HANDLE itself
// is what the manager receives in SRB_PostProc and signals with SetEvent.
#include "platform/kernel.h"

#include <windows.h>

#include <vector>

namespace platform {

struct Lock {
  CRITICAL_SECTION section;
};

Lock *CreateLock() {
  auto *lock = new Lock;
  InitializeCriticalSection(&lock->section);
  return lock;
}

void EnterLock(Lock *lock) {
  EnterCriticalSection(&lock->section);
}
void LeaveLock(Lock *lock) {
  LeaveCriticalSection(&lock->section);
}

void DeleteLock(Lock *lock) {
  if (lock == nullptr)
    return;
  DeleteCriticalSection(&lock->section);
  delete lock;
}

// An Event* is the event HANDLE, so no wrapper needs allocating. Handles are
// never closed (see kernel.h): CloseEvent keeps them for the next request.
namespace {
std::vector<HANDLE> &FreeEvents() {
  static std::vector<HANDLE> events;
  return events;
}
} // namespace

Event *CreateManualResetEvent() {
  HANDLE h = nullptr;
  if (!FreeEvents().empty()) {
    h = FreeEvents().back();
    FreeEvents().pop_back();
    ::ResetEvent(h);
  } else {
    h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  return reinterpret_cast<Event *>(h);
}

std::uintptr_t EventPostProc(Event *event) {
  return reinterpret_cast<std::uintptr_t>(event);
}

bool WaitForEvent(Event *event, unsigned timeoutMs) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(event), timeoutMs) == WAIT_OBJECT_0;
}

void ResetEvent(Event *event) {
  ::ResetEvent(reinterpret_cast<HANDLE>(event));
}

void CloseEvent(Event *event) {
  if (event != nullptr)
    FreeEvents().push_back(reinterpret_cast<HANDLE>(event));
}

void SleepMs(unsigned ms) {
  Sleep(ms);
}

std::int64_t QueryCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

std::int64_t QueryCounterFrequency() {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  return freq.QuadPart;
}

} // namespace platform
