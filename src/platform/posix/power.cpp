// Idle sleep on POSIX desktops is the session manager's business; the
// transfer asks nothing of it here.
#include "platform/kernel.h"

namespace platform {

void HoldOffIdleSleep(bool) {}

} // namespace platform
