// The plain message box and the console on Win32.
#include "platform/kernel.h"

#include <windows.h>

namespace platform {

void SystemMessageBox(const char *text, const char *caption) {
  MessageBoxA(nullptr, text, caption, MB_OK);
}

// The system's own box is a window already.
void SetDesktopMessageBox(DesktopMessageBox) {}

bool EnsureConsole() {
  if (AllocConsole())
    return true;
  // Refused when the process already has a console or its output goes
  // elsewhere: that output is used.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != nullptr && out != INVALID_HANDLE_VALUE;
}

bool ConsoleWrite(const void *bytes, std::size_t n) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE)
    return false;
  const auto *p = static_cast<const char *>(bytes);
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(out, p, static_cast<DWORD>(n), &written, nullptr) || written == 0)
      return false;
    p += written;
    n -= written;
  }
  return true; // WriteFile does not buffer: the bytes are out
}

namespace {
// _isatty is true for any character device, NUL included; only a console
// answers GetConsoleMode.
bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}
} // namespace

bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

bool StdoutIsTerminal() {
  return IsConsole(STD_OUTPUT_HANDLE);
}

} // namespace platform
