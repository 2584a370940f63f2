// --list: the QUILMAR drives of the census, one line each, with what the
// manager says of their device nodes. Only INQUIRY reaches the drives.
#include "fwupd32/exit_status.h"
#include "fwupd32/fwupd32.h"

#include "wnaspi95/wnaspi95.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t VendorStart = 8, VendorLength = 8;
constexpr std::size_t ProductStart = 16, ProductLength = 16;
constexpr std::size_t RevisionStart = 32, RevisionLength = 4;

// A field exactly as the drive reports it, blanks kept, in double quotes;
// bytes that are not printable (and the quote and backslash) escaped.
std::string QuotedField(const std::uint8_t *inquiry, std::size_t start, std::size_t length) {
  std::string text = "\"";
  for (std::size_t i = start; i < start + length; ++i) {
    const std::uint8_t byte = inquiry[i];
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text + "\"";
}

bool IsQuilmar(const std::uint8_t *inquiry) {
  return std::string(reinterpret_cast<const char *>(inquiry) + VendorStart, VendorLength)
      .starts_with("QUILMAR");
}

std::string DriveLine(std::int32_t adapter, std::int32_t target, const std::uint8_t *inquiry,
                      const std::string &image) {
  std::string node = "-";
  bool writable = false;
  const bool known = DeviceNodeOf(static_cast<std::uint8_t>(adapter),
                                  static_cast<std::uint8_t>(target), node, writable);
  return std::to_string(adapter) + "," + std::to_string(target) + " " + node + " " +
         QuotedField(inquiry, VendorStart, VendorLength) + " " +
         QuotedField(inquiry, ProductStart, ProductLength) + " " +
         QuotedField(inquiry, RevisionStart, RevisionLength) + " " + (image.empty() ? "-" : image) +
         " " +
         (!known     ? "access-unknown"
          : writable ? "writable"
                     : "not-writable") +
         "\n";
}

} // namespace

int ListDrives() {
  if (!InitAspi(true)) {
    std::fputs("fwupd32: the ASPI manager could not be loaded, or it found no host adapters.\n",
               stderr);
    return ExitCode(ExitStatus::NoManager);
  }
  int listed = 0;
  VisitOpticalDrives(
      [&listed](std::int32_t adapter, std::int32_t target, const std::uint8_t *inquiry) {
        const std::string image = ImageServing(inquiry);
        if (IsQuilmar(inquiry) || !image.empty()) {
          std::fputs(DriveLine(adapter, target, inquiry, image).c_str(), stdout);
          ++listed;
        }
        return false; // every drive
      });
  std::fflush(stdout);
  if (listed == 0) {
    std::fputs("fwupd32: no QUILMAR drive found.\n", stderr);
    return ExitCode(ExitStatus::DriveNotFound);
  }
  return ExitCode(ExitStatus::Answered);
}
