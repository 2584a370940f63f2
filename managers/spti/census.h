// The drives the pass-through interface reaches, as ASPI host adapters:
// every CD-ROM drive letter is opened and asked for its SCSI address; each
// distinct (PortNumber, PathId) is one host adapter, numbered in sorted
// order, and the drive is its target TargetId (0 to 15) at LUN 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "srb_layout.h"

#include "device_io.h"

namespace sptiaspi {

using aspikit::kTargetsPerAdapter;

// Shared from the census on; held from the first command that changes the
// drive; refused for good once it could not be held, so that no part of an
// update goes out after a refused step.
enum class Access { Shared, Held, Refused };

struct Drive {
  char letter = 0;
  DeviceHandle handle = 0; // 0: no drive at this target
  std::uint8_t deviceType = 0;
  Access access = Access::Shared;
  bool changed = false; // a command that changes it has reached it
};

struct Adapter {
  std::uint8_t port = 0, path = 0;
  std::string identifier; // HA_Identifier text
  std::uint32_t alignmentMask = 0;
  std::uint32_t maxTransfer = 0; // 0: not known
  std::array<Drive, kTargetsPerAdapter> targets{};
};

struct Census {
  std::vector<Adapter> adapters;
  // Every CD-ROM drive was refused for lack of rights.
  bool refusedForRights = false;
};

// What the program reads in HA_Identifier to choose 6- or 12-byte commands,
// from a STORAGE_BUS_TYPE value.
std::string IdentifierForBus(std::uint8_t busType);
// Where the adapter cannot say its bus type (Wine, some older port drivers):
// 6-byte commands, which every Windows port driver for ATAPI pads itself.
extern const char kUnknownBusIdentifier[];

Census TakeCensus(DeviceIo &io);

// Closes every drive the census opened.
void ReleaseCensus(DeviceIo &io, Census &census);

} // namespace sptiaspi
