// How a request ends: its status byte, then its event. A caller may poll the
// status or wait for the event, so both come after everything else the
// manager writes into the block or the caller's buffers.
#pragma once

#include <cstdint>

namespace aspikit {

// Stores SRB_Status with release order: a caller that loads it with acquire
// order and sees a final value also sees every byte written before.
void PublishStatus(std::uint8_t *block, std::uint8_t status);

// Signals the event in SRB_PostProc: on POSIX an eventfd's descriptor number,
// written the 8-byte value 1; on Windows the event HANDLE. 0 is no event.
void SignalEvent(std::uintptr_t postProc);

// Publishes the status, then signals the event when the request asked for it.
void FinishRequest(std::uint8_t *block, std::uint8_t status, bool notify, std::uintptr_t postProc);

} // namespace aspikit
