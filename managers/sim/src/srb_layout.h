// Byte offsets of the three request blocks, taken from the raw block so that a
// layout fault on the caller's side shows up in the transcript. The two
// pointer-sized fields are as wide as a pointer of this build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace simaspi {

constexpr size_t kPtr = sizeof(void *);

// Header common to every block.
constexpr size_t kCmd = 0;
constexpr size_t kStatus = 1;
constexpr size_t kHaId = 2;
constexpr size_t kFlags = 3;

// Host adapter inquiry (60 bytes).
constexpr size_t kHaCount = 8;
constexpr size_t kHaScsiId = 9;
constexpr size_t kHaManagerId = 10;
constexpr size_t kHaIdentifier = 26;
constexpr size_t kHaUnique = 42;
constexpr size_t kHaTextSize = 16;

// Get device type (27 bytes).
constexpr size_t kGdevTarget = 8;
constexpr size_t kGdevLun = 9;
constexpr size_t kGdevDeviceType = 10;

// Execute SCSI command.
constexpr size_t kExecTarget = 8;
constexpr size_t kExecLun = 9;
constexpr size_t kExecBufLen = 12;
constexpr size_t kExecBufPointer = 16;
constexpr size_t kExecSenseLen = kExecBufPointer + kPtr;
constexpr size_t kExecCdbLen = kExecSenseLen + 1;
constexpr size_t kExecHaStat = kExecSenseLen + 2;
constexpr size_t kExecTargStat = kExecSenseLen + 3;
constexpr size_t kExecPostProc = kExecSenseLen + 4;
constexpr size_t kExecRsvd2 = kExecPostProc + kPtr;
constexpr size_t kExecCdb = kExecRsvd2 + 20;
constexpr size_t kExecCdbSize = 16;
constexpr size_t kExecSense = kExecCdb + kExecCdbSize;
constexpr size_t kExecSenseSize = 32;
constexpr size_t kExecSize = kExecSense + kExecSenseSize;

static_assert(kPtr != 8 || (kExecCdb == 56 && kExecSense == 72 && kExecSize == 104));
static_assert(kPtr != 4 || (kExecCdb == 48 && kExecSense == 64 && kExecSize == 96));

constexpr uint8_t SC_HA_INQUIRY = 0x00;
constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;

constexpr uint8_t SS_PENDING = 0x00;
constexpr uint8_t SS_COMP = 0x01;
constexpr uint8_t SS_ERR = 0x04;
constexpr uint8_t SS_INVALID_CMD = 0x80;
constexpr uint8_t SS_INVALID_HA = 0x81;
constexpr uint8_t SS_INVALID_SRB = 0xE0;
constexpr uint8_t SS_ASPI_IS_BUSY = 0xE5;

constexpr uint8_t SRB_DIR_IN = 0x08;
constexpr uint8_t SRB_DIR_OUT = 0x10;
constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

inline uint8_t ReadU8(const void *block, size_t off) {
  return static_cast<const uint8_t *>(block)[off];
}

inline uint32_t ReadU32(const void *block, size_t off) {
  const uint8_t *p = static_cast<const uint8_t *>(block) + off;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A pointer-sized little-endian field.
inline uintptr_t ReadPtr(const void *block, size_t off) {
  uintptr_t value = 0;
  std::memcpy(&value, static_cast<const uint8_t *>(block) + off, kPtr);
  return value;
}

inline void WriteU8(void *block, size_t off, uint8_t value) {
  static_cast<uint8_t *>(block)[off] = value;
}

// The status byte is what the caller polls: it is stored last, with release
// order, so that every byte written before it is visible once it is seen.
inline void PublishStatus(void *block, uint8_t status) {
  __atomic_store_n(static_cast<uint8_t *>(block) + kStatus, status, __ATOMIC_RELEASE);
}

} // namespace simaspi
