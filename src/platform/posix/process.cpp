// Process start: the three standard descriptors are made to exist, and the
// launcher's argument is taken.
#include "platform/kernel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

// A closed 0, 1 or 2 would be handed to the next descriptor made: an event
// numbered 0 reads as "no event" in SRB_PostProc, and an image file numbered
// 1 or 2 would receive whatever the process prints.
void GuardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    // open() takes the lowest free number, which is this one.
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd)
      close(opened);
  }
}

const char *OpenedFile(int argc, char **argv) {
  return argc > 1 ? argv[1] : nullptr;
}

} // namespace platform
