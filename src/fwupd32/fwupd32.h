// Start-up, the model table and dispatch, and the drive search.
#pragma once

#include <cstdint>
#include <string>

struct TDeviceAddress {
  std::int32_t Adapter = -1;
  std::int32_t Target = -1;
};
extern TDeviceAddress DeviceAddress;

bool FindDrive(const std::string &searchText, std::int32_t &adapter, std::int32_t &target);

int ProgramMain(); // the dispatch; returns the exit code
