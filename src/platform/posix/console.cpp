// The plain message box and the console: on this platform both are the
// process's standard output, so that a run can be read back line by line,
// unless a desktop shows the box as a window.
#include "platform/kernel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace platform {

namespace {
DesktopMessageBox DesktopBox = nullptr;
} // namespace

void SetDesktopMessageBox(DesktopMessageBox show) {
  DesktopBox = show;
}

void SystemMessageBox(const char *text, const char *caption) {
  if (DesktopBox != nullptr &&
      DesktopBox(text != nullptr ? text : "", caption != nullptr ? caption : ""))
    return;
  std::string box = "== ";
  box += caption != nullptr ? caption : "";
  box += " ==\n";
  box += text != nullptr ? text : "";
  box += "\n[OK]\n";
  if (!ConsoleWrite(box.data(), box.size())) {
    // No standard output left (a closed terminal or pipe): standard error may still be read.
    const ssize_t ignored = write(STDERR_FILENO, box.data(), box.size());
    (void)ignored;
  }
  if (StdinIsTerminal()) {
    char c = 0;
    while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
    }
  }
}

// A process started without a standard output has no console to create.
bool EnsureConsole() {
  return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

bool ConsoleWrite(const void *bytes, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = write(STDOUT_FILENO, static_cast<const char *>(bytes) + done, n - done);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) != 0;
}

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) != 0;
}

} // namespace platform
