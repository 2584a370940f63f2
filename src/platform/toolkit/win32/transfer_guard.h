// While a firmware transfer holds (platform::HoldForTransfer), the machine
// must not log off or shut down: a drive cut off half way through a flash is
// left without working firmware. Windows asks every top-level window with
// WM_QUERYENDSESSION; ours answer through the pending-message processing that
// the transfer does after each block.
#pragma once

#include <windows.h>

namespace toolkit {

// The application window carries the refusal's reason while a transfer holds.
void GuardTransfersWith(HWND appWindow);

// The answer to WM_QUERYENDSESSION: FALSE (refuse) while a transfer holds.
LRESULT AnswerQueryEndSession();
bool TransferGuarded();

} // namespace toolkit
