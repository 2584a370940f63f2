// The pass-through request as DeviceIoControl takes it: the request header
// followed, in the same allocation, by the sense area (and, for the buffered
// form, the data).
#pragma once

#include <cstddef>

#include <windows.h>
// needs windows.h first
#include <ntddscsi.h>
#include <winioctl.h>

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

// The class driver's exclusive-access request (CDROM_EXCLUSIVE_LOCK), which
// the MinGW headers lack.
constexpr DWORD kIoctlCdromExclusiveAccess =
    CTL_CODE(FILE_DEVICE_CD_ROM, 0x0017, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr ULONG kExclusiveAccessLockDevice = 1;
constexpr ULONG kCdromLockIgnoreVolume = 0x1;
// Shown to whoever asks who holds the drive: letters, digits and spaces only.
constexpr char kExclusiveCallerName[] = "CDRAL firmware update";

struct ExclusiveLockRequest {
  ULONG requestType;
  ULONG flags;
  UCHAR callerName[64];
};
static_assert(sizeof(ExclusiveLockRequest) == 72);

} // namespace sptiaspi
