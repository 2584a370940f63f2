#include "census.h"

#include "pass_through.h"
#include "spti_structs.h"

#include <algorithm>
#include <map>
#include <utility>

#include <winioctl.h>

namespace sptiaspi {
namespace {

constexpr std::uint8_t kCdRomType = 5;
// STORAGE_BUS_TYPE values (winioctl.h gates the newer ones by version).
constexpr std::uint8_t kBusScsi = 0x01, kBusAtapi = 0x02, kBusAta = 0x03, kBus1394 = 0x04,
                       kBusFibre = 0x06, kBusUsb = 0x07, kBusIscsi = 0x09, kBusSas = 0x0A,
                       kBusSata = 0x0B;

struct Found {
  char letter;
  DeviceHandle handle;
  std::uint8_t target;
};

// An alignment mask is 2^n - 1; some stacks answer the alignment in bytes
// instead (Wine gives the page size), which is taken as that alignment.
std::uint32_t AsAlignmentMask(std::uint32_t value) {
  if ((value & (value + 1)) == 0)
    return value;
  std::uint32_t alignment = 1;
  while (alignment <= value / 2)
    alignment *= 2;
  return alignment - 1;
}

// Bus type, alignment and transfer limit of the adapter behind a drive.
void QueryAdapter(DeviceIo &io, DeviceHandle handle, Adapter &adapter) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageAdapterProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_ADAPTER_DESCRIPTOR desc{};
  std::uint32_t returned = 0;
  const std::uint32_t minimum = offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType) + 1;
  if (io.Control(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &desc, sizeof desc,
                 returned) == 0 &&
      returned >= minimum) {
    adapter.identifier = IdentifierForBus(desc.BusType);
    adapter.alignmentMask = AsAlignmentMask(desc.AlignmentMask);
    adapter.maxTransfer = desc.MaximumTransferLength;
    return;
  }
  adapter.identifier = kUnknownBusIdentifier;
  IO_SCSI_CAPABILITIES caps{};
  if (io.Control(handle, IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &caps, sizeof caps, returned) ==
          0 &&
      returned >= offsetof(IO_SCSI_CAPABILITIES, AlignmentMask) + sizeof caps.AlignmentMask) {
    adapter.alignmentMask = AsAlignmentMask(caps.AlignmentMask);
    adapter.maxTransfer = caps.MaximumTransferLength;
    return;
  }
  adapter.alignmentMask = 3; // what most port drivers ask for
}

// The peripheral device type from INQUIRY; a CD-ROM drive letter that does
// not answer is still a CD-ROM drive.
std::uint8_t PeripheralType(DeviceIo &io, DeviceHandle handle, std::uint32_t alignmentMask) {
  alignas(16) std::uint8_t data[36] = {};
  const std::uint8_t cdb[6] = {0x12, 0, 0, 0, sizeof data, 0};
  const Command inquiry{cdb, sizeof cdb, data, sizeof data, Direction::In};
  const PassThroughOutcome out = RunPassThrough(io, handle, alignmentMask, inquiry);
  if (out.error != 0 || out.scsiStatus != 0)
    return kCdRomType;
  return data[0] & 0x1F;
}

} // namespace

const char kUnknownBusIdentifier[] = "PASS-THROUGH";

std::string IdentifierForBus(std::uint8_t busType) {
  switch (busType) {
  case kBusAtapi:
  case kBusAta:
  case kBusSata: // optical drives on these buses speak ATAPI packets
    return "ATAPI";
  case kBusUsb:
    return "USB";
  case kBus1394:
    return "1394";
  case kBusScsi:
  case kBusFibre:
  case kBusIscsi:
  case kBusSas:
    return "SCSI";
  default:
    return kUnknownBusIdentifier;
  }
}

Census TakeCensus(DeviceIo &io) {
  Census census;
  if (!io.HasPassThrough())
    return census;
  std::map<std::pair<std::uint8_t, std::uint8_t>, std::vector<Found>> byPath;
  int cdRoms = 0, refusedForRights = 0;
  const std::uint32_t letters = io.LogicalDrives();
  for (int n = 0; n < 26; ++n) {
    const char letter = static_cast<char>('A' + n);
    if (!(letters & (1u << n)) || !io.IsCdRom(letter))
      continue;
    ++cdRoms;
    std::uint32_t error = 0;
    const DeviceHandle handle = io.Open(letter, error);
    if (handle == 0) {
      refusedForRights += error == ERROR_ACCESS_DENIED;
      continue;
    }
    SCSI_ADDRESS address{};
    address.Length = sizeof address;
    std::uint32_t returned = 0;
    const bool addressed = io.Control(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address,
                                      sizeof address, returned) == 0;
    auto &onPath = byPath[{address.PortNumber, address.PathId}];
    const bool taken = std::any_of(onPath.begin(), onPath.end(),
                                   [&](const Found &f) { return f.target == address.TargetId; });
    // Beyond what an ASPI caller can address, or a second letter of a drive.
    if (!addressed || address.Lun != 0 || address.TargetId >= kTargetsPerAdapter || taken) {
      io.Close(handle);
      if (onPath.empty())
        byPath.erase({address.PortNumber, address.PathId});
      continue;
    }
    onPath.push_back({letter, handle, address.TargetId});
  }
  census.refusedForRights = cdRoms > 0 && refusedForRights == cdRoms;

  for (auto &[key, drives] : byPath) {
    Adapter adapter;
    adapter.port = key.first;
    adapter.path = key.second;
    QueryAdapter(io, drives.front().handle, adapter);
    for (const Found &f : drives)
      adapter.targets[f.target] = {f.letter, f.handle,
                                   PeripheralType(io, f.handle, adapter.alignmentMask)};
    census.adapters.push_back(std::move(adapter));
  }
  return census;
}

void ReleaseCensus(DeviceIo &io, Census &census) {
  for (Adapter &a : census.adapters)
    for (Drive &d : a.targets)
      if (d.handle != 0)
        io.Close(d.handle), d.handle = 0;
  census.adapters.clear();
}

} // namespace sptiaspi
