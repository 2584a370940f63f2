// The host adapters and devices of the sg driver, read from sysfs. Every
// (host, channel) pair that carries an sg device is one host adapter, in host
// then channel order; its targets 0 to 15 at LUN 0 are the devices.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "srb_layout.h"

namespace sgaspi {

using aspikit::kTargetsPerAdapter;

struct SgDevice {
  std::string sgName;    // "sg3": the node is /dev/sg3
  std::string blockName; // "sr0": the same drive's block node, empty when none
  std::uint8_t deviceType = 0;
};

struct Adapter {
  int host = 0, channel = 0;
  std::string driver;     // proc_name, or the bound driver when proc_name is "(null)"
  std::string identifier; // HA_Identifier text
  int scsiId = 7;
  std::array<bool, kTargetsPerAdapter> present{};
  std::array<SgDevice, kTargetsPerAdapter> devices{};
};

// What the program reads in HA_Identifier to choose 6- or 12-byte commands.
std::string ClassifyDriver(const std::string &driver);

// sysfsRoot is "/sys" in use, a temporary tree in tests.
std::vector<Adapter> TakeCensus(const std::string &sysfsRoot);

} // namespace sgaspi
