#include "disturbances.h"

#include <climits>
#include <csignal>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace simaspi {

void CloseEvent(uintptr_t postProc) {
  if (postProc == 0)
    return;
#ifdef _WIN32
  CloseHandle(reinterpret_cast<HANDLE>(postProc));
#else
  if (postProc <= uintptr_t{INT_MAX})
    ::close(static_cast<int>(postProc)); // never retried: the number is released even on EINTR
#endif
}

void RaiseSignal(int signal, const std::string &name, Transcript &transcript) {
  transcript.Line("SIGNAL sig=" + name);
  std::raise(signal);
}

} // namespace simaspi
