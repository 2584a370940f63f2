// Start-up, the model table and dispatch, and the drive search.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TDeviceAddress {
  std::int32_t Adapter = -1;
  std::int32_t Target = -1;
};
extern TDeviceAddress DeviceAddress;

bool FindDrive(const std::string &searchText, std::int32_t &adapter, std::int32_t &target);
// Sends INQUIRY to every CD-ROM or optical device of the census, in census
// order, and hands each one that answers as such to `visit` with its INQUIRY
// data (InquiryDataLength bytes), until `visit` returns true; true when one did.
bool VisitOpticalDrives(const std::function<bool(std::int32_t adapter, std::int32_t target,
                                                 const std::uint8_t *inquiry)> &visit);
// Whether the drive's identification (vendor, product, revision and the two
// bytes after them) contains `text`, byte for byte; an empty text never matches.
bool IdentificationContains(const std::uint8_t *inquiry, const std::string &text);
// The image file name whose row would update the drive of this INQUIRY data
// (the first row in table order whose search finds it and whose revision
// check does not refuse it); empty when none would.
std::string ImageServing(const std::uint8_t *inquiry);
// The eleven image file names in table order, with the drive each serves.
struct ImageName {
  const char *File;
  std::string Drive;
};
std::vector<ImageName> ImageNames();
// The image file the user picks in the toolkit's file chooser (where
// toolkit::CanChooseFiles()); empty when the user cancelled.
std::string ChooseImageFile();

// The dispatch; returns the exit code (fwupd32/exit_status.h). Without `openedFile` it takes the
// image it finds in the working directory; with one, exactly that file, or it tells the user why
// that file cannot be used.
int ProgramMain(const char *openedFile);

// The answers of the command line that reach no drive: the help, the version,
// a usage error (on standard error); each returns its exit status.
int ShowHelp();
int ShowVersion();
int ShowMisuse(const std::string &problem);
// --list: every QUILMAR drive of the census, one line each, on standard
// output; only INQUIRY is sent. Returns the exit status.
int ListDrives();
