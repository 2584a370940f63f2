// A windowed program has no terminal to be hung up or interrupted from, and
// no pipes that raise a signal: log-off and shutdown are refused by the
// progress window itself (toolkit/win32/transfer_guard.h).
#include "platform/kernel.h"

namespace platform {

void HoldTerminatingSignals(bool, const char *) {}
void IgnoreBrokenPipes() {}

} // namespace platform
