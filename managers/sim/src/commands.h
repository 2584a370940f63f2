// The commands a simulated drive knows: one table of the name a scenario
// gives each kind, its opcode, and the function that reads its command block
// and carries it out.
#pragma once

#include "drive.h"

#include <cstdint>
#include <string_view>

namespace simaspi {

struct CommandKind {
  const char *name;
  uint8_t opcode;
  DriveOutcome (*carryOut)(DriveState &drive, const DriveRequest &request);
};

// The kind a scenario names; null when there is none.
const CommandKind *KindNamed(std::string_view name);

// Carries out the request by its opcode; an unknown opcode fails with
// ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
DriveOutcome CarryOutCommand(DriveState &drive, const DriveRequest &request);

} // namespace simaspi
