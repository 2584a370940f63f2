// The pass-through request as DeviceIoControl takes it: the request header
// followed, in the same allocation, by the sense area (and, for the buffered
// form, the data).
#pragma once

#include <cstddef>

#include <windows.h>
// needs windows.h first
#include <ntddscsi.h>

namespace sptiaspi {

constexpr unsigned char kSptiDataOut = 0, kSptiDataIn = 1, kSptiDataUnspecified = 2;

struct DirectRequest {
  SCSI_PASS_THROUGH_DIRECT header;
  ULONG align; // keeps the sense area on a 4-byte boundary on every target
  UCHAR sense[32];
};

struct BufferedRequest {
  SCSI_PASS_THROUGH header;
  ULONG align;
  UCHAR sense[32];
  // the data follows at DataBufferOffset
};

constexpr std::size_t kDirectSenseOffset = offsetof(DirectRequest, sense);
constexpr std::size_t kBufferedSenseOffset = offsetof(BufferedRequest, sense);
constexpr std::size_t kBufferedDataOffset = sizeof(BufferedRequest);

} // namespace sptiaspi
