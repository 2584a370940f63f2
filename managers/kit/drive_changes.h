// The commands that change a drive: its memory, its microcode, its flash.
// From the first of them on, a manager keeps everyone else away from that
// drive until the process ends.
#pragma once

#include <cstdint>

namespace aspikit {

constexpr bool ChangesDrive(std::uint8_t opcode) {
  switch (opcode) {
  case 0x3B: // WRITE BUFFER: microcode download
  case 0xE1: // programming mode: start of the firmware transfer
  case 0xE2: //   a firmware block
  case 0xE4: //   end of the transfer, the drive programs its flash
  case 0xF0: // drive memory write
    return true;
  default:
    return false;
  }
}

// How long a manager lets the operating system give one command before it is
// timed out and aborted (on most hosts a device or bus reset follows). A
// command that changes the drive may be erasing or programming its flash, and
// an abort there can leave it without firmware: it gets 20 minutes, twice the
// longest the program waits for any command (10 minutes, for a firmware
// command), so that nothing the program still waits for is ever cut off, and
// a drive it has stopped waiting for gets as long again to finish. Queries
// keep 30 s.
constexpr std::uint32_t kDriveChangeTimeoutSeconds = 20 * 60;
constexpr std::uint32_t kQueryTimeoutSeconds = 30;

constexpr std::uint32_t CommandTimeoutSeconds(std::uint8_t opcode) {
  return ChangesDrive(opcode) ? kDriveChangeTimeoutSeconds : kQueryTimeoutSeconds;
}

} // namespace aspikit
