// One SCSI command through SG_IO on an open /dev/sg* descriptor.
#pragma once

#include <cstdint>
#include <string>

#include "srb_layout.h"
#include "status_map.h"

namespace sgaspi {

// Opens the node read-write (WRITE BUFFER and vendor commands need it) and
// makes sure the reserved buffer holds a 32768-byte transfer. -1 and errno
// on failure.
int OpenSgDevice(const std::string &path);

// Microcode downloads erase and program flash: give them minutes.
unsigned TimeoutMsFor(std::uint8_t opcode);

ExecResult RunSgIo(int fd, const ExecRequest &req, SgOutcome &raw);

} // namespace sgaspi
