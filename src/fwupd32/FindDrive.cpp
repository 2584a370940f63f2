// The drive search: asks every CD-ROM or optical device of the census for its
// INQUIRY identification and takes the first one that contains the text.
#include "fwupd32/fwupd32.h"

#include "wnaspi95/wnaspi95.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr std::int32_t TypeCdRom = 5;
constexpr std::int32_t TypeOptical = 7;

// Vendor (8), product (16), revision (4) and the two bytes after them.
constexpr std::size_t IdentificationStart = 8;
constexpr std::size_t IdentificationLength = 30;

bool IsOpticalType(std::int32_t type) {
  return type == TypeCdRom || type == TypeOptical;
}

// Byte for byte, NULs included; an empty text matches nothing.
bool ContainsText(const std::string &identification, const std::string &text) {
  return !text.empty() && identification.find(text) != std::string::npos;
}

} // namespace

bool IdentificationContains(const std::uint8_t *inquiry, const std::string &text) {
  const std::string identification(reinterpret_cast<const char *>(inquiry) + IdentificationStart,
                                   IdentificationLength);
  return ContainsText(identification, text);
}

bool VisitOpticalDrives(
    const std::function<bool(std::int32_t, std::int32_t, const std::uint8_t *)> &visit) {
  std::uint8_t data[InquiryDataLength];
  for (std::int32_t a = 0; a < AdapterCount; ++a) {
    for (std::int32_t t = 0; t < TargetsPerAdapter; ++t) {
      if (!IsOpticalType(
              LookupDeviceType(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(t)))) {
        continue;
      }
      std::memset(data, 0, sizeof data);
      // A failed INQUIRY leaves byte 0 at zero, so the pair is skipped below.
      Inquiry(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(t), data);
      // Byte 0 taken whole: a non-zero peripheral qualifier means no usable drive here.
      if (IsOpticalType(data[0]) && visit(a, t, data)) {
        return true;
      }
    }
  }
  return false;
}

bool FindDrive(const std::string &searchText, std::int32_t &adapter, std::int32_t &target) {
  adapter = -1;
  target = -1;
  return VisitOpticalDrives([&](std::int32_t a, std::int32_t t, const std::uint8_t *data) {
    if (!IdentificationContains(data, searchText)) {
      return false;
    }
    TestUnitReady(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(t));
    adapter = a;
    target = t;
    return true;
  });
}
