// Process start: the three standard descriptors are made to exist, and the
// launcher's argument is taken.
#include "platform/kernel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// Something harmless for a closed standard descriptor: the null device, or
// where it cannot be opened (a bare chroot or container) one end of a pipe
// whose other end is closed, so that reads find the end at once and writes
// fail (SIGPIPE is ignored) instead of landing anywhere.
int HarmlessDescriptor(int fd) {
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0)
    return null;
  int ends[2];
  if (pipe(ends) != 0)
    return -1;
  const bool reading = fd == STDIN_FILENO;
  close(reading ? ends[1] : ends[0]);
  return reading ? ends[0] : ends[1];
}

} // namespace

// A closed 0, 1 or 2 would be handed to the next descriptor made: an event
// numbered 0 reads as "no event" in SRB_PostProc, and an image file numbered
// 1 or 2 would receive whatever the process prints.
void GuardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    const int harmless = HarmlessDescriptor(fd);
    if (harmless < 0) {
      // Nothing may be opened onto the gap: end before anything is.
      static const char why[] = "fwupd32: a standard descriptor is closed and cannot be "
                                "replaced; start the program with it open.\n";
      const ssize_t ignored = write(STDERR_FILENO, why, sizeof why - 1);
      (void)ignored;
      _exit(1);
    }
    if (harmless != fd) {
      dup2(harmless, fd);
      close(harmless);
    }
  }
}

const char *OpenedFile(int argc, char **argv) {
  return argc > 1 ? argv[1] : nullptr;
}

} // namespace platform
