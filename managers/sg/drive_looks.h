// The manager's own looks at a drive after its update, through SG_IO: only
// TEST UNIT READY and INQUIRY, which change nothing.
#pragma once

#include <cstdint>
#include <string>

#include "read_back.h"

namespace sgaspi {

// What INQUIRY bytes 8 to 35 say: vendor and product, then the revision.
struct Identity {
  std::string vendorProduct; // 24 bytes as sent
  std::string revision;      // trailing blanks dropped
};

// False when `data` is too short to hold the revision.
bool IdentityOf(const std::uint8_t *data, std::size_t length, Identity &out);

// True for a standard INQUIRY (not a page of vital product data).
bool IsStandardInquiry(const std::uint8_t *cdb);

// The drive on `fd` past its reset (TEST UNIT READY, a few seconds at most),
// then its INQUIRY data.
Look LookAtDrive(int fd, Identity &identity);

// The drive that answers `vendorProduct` on any node of the sg driver now,
// its node in `node` ("/dev/sg2"). NotYet when none does.
Look LookForDrive(const std::string &sysfsRoot, const std::string &devRoot,
                  const std::string &vendorProduct, std::string &revision, std::string &node);

// The calls of a read-back as the system makes them, from now on.
ReadBackCalls SystemReadBackCalls(int fd, const std::string &sysfsRoot, const std::string &devRoot,
                                  const std::string &vendorProduct);

} // namespace sgaspi
