// While the progress window is on screen a firmware transfer runs, and the
// process ends right after it. Until then the machine must neither sleep for
// idleness nor log off or shut down: a drive cut off half way through a flash
// is left without working firmware. Windows asks every top-level window with
// WM_QUERYENDSESSION; ours answer through the pending-message processing that
// the transfer does after each block.
#pragma once

#include <windows.h>

namespace toolkit {

// Held by the progress window from the moment it is shown until it is gone.
void BeginTransferGuard(HWND progressWindow);
void EndTransferGuard(HWND progressWindow);

// The answer to WM_QUERYENDSESSION: FALSE (refuse) while a transfer runs.
LRESULT AnswerQueryEndSession();
bool TransferGuarded();

} // namespace toolkit
