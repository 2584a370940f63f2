// Process start on Win32: events and files are HANDLEs, which never take the
// values of the standard streams, so there is nothing to guard.
#include "platform/kernel.h"

namespace platform {

void GuardStandardStreams() {}

} // namespace platform
