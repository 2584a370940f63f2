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

} // namespace aspikit
