#include "fake_device_io.h"

#include "spti_structs.h"

#include <algorithm>
#include <cstring>

#include <winioctl.h>

namespace sptiaspi::testing {

std::uint32_t FakeDeviceIo::LogicalDrives() {
  std::uint32_t bits = 0;
  for (const auto &[letter, drive] : drives)
    bits |= 1u << (letter - 'A');
  return bits;
}

DeviceHandle FakeDeviceIo::Open(char letter, std::uint32_t &error) {
  error = drives.at(letter).openError;
  if (error != 0)
    return 0;
  ++open;
  return static_cast<DeviceHandle>(letter);
}

std::uint32_t FakeDeviceIo::Control(DeviceHandle handle, std::uint32_t code, void *in,
                                    std::uint32_t inSize, void *out, std::uint32_t outSize,
                                    std::uint32_t &returned) {
  const FakeDrive &d = drives.at(static_cast<char>(handle));
  returned = 0;
  switch (code) {
  case IOCTL_SCSI_GET_ADDRESS: {
    SCSI_ADDRESS a{sizeof a, d.port, d.path, d.target, d.lun};
    std::memcpy(out, &a, std::min<std::size_t>(outSize, sizeof a));
    returned = sizeof a;
    return 0;
  }
  case IOCTL_STORAGE_QUERY_PROPERTY: {
    if (d.busType < 0)
      return ERROR_INVALID_FUNCTION; // as Wine answers
    STORAGE_ADAPTER_DESCRIPTOR desc{};
    desc.Size = sizeof desc;
    desc.BusType = static_cast<BYTE>(d.busType);
    desc.AlignmentMask = d.alignmentMask;
    desc.MaximumTransferLength = d.maxTransfer;
    std::memcpy(out, &desc, std::min<std::size_t>(outSize, sizeof desc));
    returned = sizeof desc;
    return 0;
  }
  case IOCTL_SCSI_GET_CAPABILITIES: {
    IO_SCSI_CAPABILITIES caps{};
    caps.Length = sizeof caps;
    caps.AlignmentMask = d.alignmentMask;
    caps.MaximumTransferLength = d.maxTransfer;
    std::memcpy(out, &caps, std::min<std::size_t>(outSize, sizeof caps));
    returned = sizeof caps;
    return 0;
  }
  case IOCTL_SCSI_PASS_THROUGH:
  case IOCTL_SCSI_PASS_THROUGH_DIRECT:
    return PassThrough(d, code, in, inSize);
  default: {
    const auto *bytes = static_cast<const std::uint8_t *>(in);
    controls.push_back({static_cast<char>(handle), code, {bytes, bytes + inSize}});
    const auto scripted = controlErrors.find(code);
    return scripted == controlErrors.end() ? ERROR_INVALID_FUNCTION : scripted->second;
  }
  }
}

// The two request forms share their header layout up to the data pointer.
std::uint32_t FakeDeviceIo::PassThrough(const FakeDrive &d, std::uint32_t code, void *request,
                                        std::uint32_t size) {
  auto *base = static_cast<std::uint8_t *>(request);
  auto *h = static_cast<SCSI_PASS_THROUGH *>(request);
  SentCommand c{code,      std::vector<std::uint8_t>(h->Cdb, h->Cdb + h->CdbLength),
                h->DataIn, h->TimeOutValue,
                0,         {}};
  std::uint8_t *data = nullptr;
  if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
    data =
        static_cast<std::uint8_t *>(static_cast<SCSI_PASS_THROUGH_DIRECT *>(request)->DataBuffer);
    c.directBuffer = reinterpret_cast<std::uintptr_t>(data);
  } else if (h->DataTransferLength) {
    if (h->DataBufferOffset + h->DataTransferLength > size)
      return ERROR_INVALID_PARAMETER;
    data = base + h->DataBufferOffset;
  }
  if (data && h->DataIn == 0)
    c.dataOut.assign(data, data + h->DataTransferLength);

  // INQUIRY tells the drive's type unless the test scripts it.
  const Answer a =
      c.cdb[0] == 0x12 && !scriptInquiry ? Answer{0, 0, {}, {d.peripheralType}} : answer(c);
  sent.push_back(c);
  if (a.error)
    return a.error;
  h->ScsiStatus = a.scsiStatus;
  const std::size_t n = std::min<std::size_t>(a.dataIn.size(), h->DataTransferLength);
  if (data && h->DataIn == 1) { // the system reports the bytes moved
    std::memcpy(data, a.dataIn.data(), n);
    h->DataTransferLength = static_cast<ULONG>(n);
  }
  const std::size_t s = std::min<std::size_t>(a.sense.size(), h->SenseInfoLength);
  std::memcpy(base + h->SenseInfoOffset, a.sense.data(), s);
  h->SenseInfoLength = static_cast<UCHAR>(s);
  return 0;
}

} // namespace sptiaspi::testing
