#include "census.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

namespace sgaspi {
namespace fs = std::filesystem;
namespace {

std::string ReadFirstLine(const fs::path &file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
    line.pop_back();
  return line;
}

bool StartsWith(const std::string &s, const char *prefix) {
  return s.rfind(prefix, 0) == 0;
}

// "H:C:T:L" from the name of the device directory an sg node belongs to.
bool ParseHctl(const std::string &name, int (&hctl)[4]) {
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t end = name.find(':', pos);
    if ((i < 3) != (end != std::string::npos))
      return false;
    const std::string part = name.substr(pos, end == std::string::npos ? end : end - pos);
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos)
      return false;
    try {
      hctl[i] = std::stoi(part);
    } catch (...) {
      return false;
    }
    pos = end + 1;
  }
  return true;
}

std::string HostDriver(const fs::path &hostDir) {
  std::string name = ReadFirstLine(hostDir / "proc_name");
  if (!name.empty() && name != "(null)")
    return name;
  // uas and some others leave proc_name empty: the driver bound to the
  // host's parent device names it.
  std::error_code ec;
  const fs::path link = fs::read_symlink(hostDir / "device" / ".." / "driver", ec);
  if (!ec)
    return link.filename().string();
  const fs::path canon = fs::canonical(hostDir / "device" / ".." / "driver", ec);
  return ec ? name : canon.filename().string();
}

int HostScsiId(const fs::path &hostDir) {
  const std::string text = ReadFirstLine(hostDir / "this_id");
  try {
    const int id = std::stoi(text);
    return id >= 0 && id < 256 ? id : 7;
  } catch (...) {
    return 7;
  }
}

// The block device the same SCSI device carries (sr0 for a CD drive).
std::string BlockDeviceOf(const fs::path &deviceDir) {
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(deviceDir / "block", ec))
    return entry.path().filename().string();
  return "";
}

} // namespace

std::string ClassifyDriver(const std::string &driver) {
  if (driver == "ahci" || driver == "libata" || StartsWith(driver, "ata_") ||
      StartsWith(driver, "pata_") || StartsWith(driver, "sata_"))
    return "ATAPI";
  if (driver == "usb-storage" || driver == "uas" || driver == "ums-realtek")
    return "USB";
  return driver.substr(0, 15); // leave room for the terminating zero byte
}

std::vector<Adapter> TakeCensus(const std::string &sysfsRoot) {
  const fs::path root(sysfsRoot);
  std::map<std::pair<int, int>, Adapter> byHostChannel;
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(root / "class" / "scsi_generic", ec)) {
    const fs::path devLink = entry.path() / "device";
    std::error_code linkEc;
    fs::path target = fs::read_symlink(devLink, linkEc);
    if (linkEc)
      target = fs::canonical(devLink, linkEc);
    if (linkEc)
      continue;
    int hctl[4];
    if (!ParseHctl(target.filename().string(), hctl))
      continue;
    const int target_id = hctl[2];
    if (hctl[3] != 0 || target_id < 0 || target_id >= kTargetsPerAdapter)
      continue;
    Adapter &a = byHostChannel[{hctl[0], hctl[1]}];
    a.host = hctl[0];
    a.channel = hctl[1];
    a.present[target_id] = true;
    a.devices[target_id].sgName = entry.path().filename().string();
    a.devices[target_id].blockName = BlockDeviceOf(devLink);
    int type = 0;
    try {
      type = std::stoi(ReadFirstLine(devLink / "type"));
    } catch (...) {
      type = 0x1F; // unknown
    }
    a.devices[target_id].deviceType = static_cast<std::uint8_t>(type & 0xFF);
  }
  std::vector<Adapter> adapters;
  for (auto &[key, a] : byHostChannel) {
    const fs::path hostDir = root / "class" / "scsi_host" / ("host" + std::to_string(a.host));
    a.driver = HostDriver(hostDir);
    a.identifier = ClassifyDriver(a.driver);
    a.scsiId = HostScsiId(hostDir);
    adapters.push_back(std::move(a));
  }
  return adapters;
}

} // namespace sgaspi
