#include "pass_through.h"

#include "drive_changes.h"
#include "spti_structs.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sptiaspi {
namespace {

UCHAR DataInFor(Direction d) {
  switch (d) {
  case Direction::In:
    return kSptiDataIn;
  case Direction::Out:
  case Direction::None:
    return kSptiDataOut;
  default:
    return kSptiDataUnspecified;
  }
}

template <typename Header> void FillHeader(Header &h, const Command &c, std::size_t senseOffset) {
  h.Length = sizeof(Header);
  h.CdbLength = c.cdbLen;
  h.SenseInfoLength = static_cast<UCHAR>(kSenseCapacity);
  h.SenseInfoOffset = static_cast<ULONG>(senseOffset);
  h.DataIn = DataInFor(c.direction);
  h.DataTransferLength = c.dataLen;
  h.TimeOutValue = aspikit::CommandTimeoutSeconds(c.cdb[0]);
  std::memcpy(h.Cdb, c.cdb, std::min<std::size_t>(c.cdbLen, sizeof h.Cdb));
}

void TakeSense(PassThroughOutcome &out, const UCHAR *sense, UCHAR length) {
  out.senseBytes = static_cast<std::uint8_t>(std::min<std::size_t>(length, kSenseCapacity));
  std::memcpy(out.sense, sense, out.senseBytes);
}

PassThroughOutcome RunDirect(DeviceIo &io, DeviceHandle handle, const Command &c) {
  DirectRequest req{};
  FillHeader(req.header, c, kDirectSenseOffset);
  req.header.DataBuffer = c.dataLen ? c.data : nullptr;
  std::uint32_t returned = 0;
  PassThroughOutcome out{};
  out.error = io.Control(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &req, sizeof req, &req, sizeof req,
                         returned);
  if (out.error == 0) {
    out.scsiStatus = req.header.ScsiStatus;
    if (req.header.ScsiStatus != 0)
      TakeSense(out, req.sense, req.header.SenseInfoLength);
  }
  return out;
}

PassThroughOutcome RunBuffered(DeviceIo &io, DeviceHandle handle, const Command &c) {
  std::vector<unsigned char> area(kBufferedDataOffset + c.dataLen, 0);
  auto *req = reinterpret_cast<BufferedRequest *>(area.data());
  FillHeader(req->header, c, kBufferedSenseOffset);
  req->header.DataBufferOffset = c.dataLen ? kBufferedDataOffset : 0;
  unsigned char *data = area.data() + kBufferedDataOffset;
  if (c.dataLen && c.direction != Direction::In)
    std::memcpy(data, c.data, c.dataLen);
  std::uint32_t returned = 0;
  PassThroughOutcome out{};
  out.buffered = true;
  const auto size = static_cast<std::uint32_t>(area.size());
  out.error =
      io.Control(handle, IOCTL_SCSI_PASS_THROUGH, area.data(), size, area.data(), size, returned);
  if (out.error != 0)
    return out;
  out.scsiStatus = req->header.ScsiStatus;
  if (req->header.ScsiStatus != 0)
    TakeSense(out, req->sense, req->header.SenseInfoLength);
  if (c.dataLen && c.direction != Direction::Out) {
    const std::uint32_t got = std::min<std::uint32_t>(req->header.DataTransferLength, c.dataLen);
    std::memcpy(c.data, data, got);
  }
  return out;
}

} // namespace

PassThroughOutcome RunPassThrough(DeviceIo &io, DeviceHandle handle, std::uint32_t alignmentMask,
                                  const Command &command) {
  const auto address = reinterpret_cast<std::uintptr_t>(command.data);
  if (command.dataLen != 0 && (address & alignmentMask) != 0)
    return RunBuffered(io, handle, command);
  return RunDirect(io, handle, command);
}

} // namespace sptiaspi
