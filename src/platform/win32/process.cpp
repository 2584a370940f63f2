// Process start on Win32: events and files are HANDLEs, which never take the
// values of the standard streams, so there is nothing to guard; the program
// takes no command line.
#include "platform/kernel.h"

namespace platform {

void GuardStandardStreams() {}

CommandLine ReadCommandLine(int, char **) {
  return {};
}

bool EnterIfDirectory(const char *) {
  return false;
}

} // namespace platform
