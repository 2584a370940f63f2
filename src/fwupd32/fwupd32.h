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

// The dispatch; returns the exit code (fwupd32/exit_status.h). Without `openedFile` it takes the
// image it finds in the working directory; with one, exactly that file, or it tells the user why
// that file cannot be used.
int ProgramMain(const char *openedFile);
