// Byte offsets of the request blocks as the program lays them out. The two
// pointer-sized fields (data buffer and completion event) widen on a 64-bit
// process and move every field behind them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sgaspi {

constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
constexpr std::uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;

constexpr std::uint8_t SS_PENDING = 0x00;
constexpr std::uint8_t SS_COMP = 0x01;
constexpr std::uint8_t SS_ERR = 0x04;
constexpr std::uint8_t SS_INVALID_CMD = 0x80;
constexpr std::uint8_t SS_INVALID_HA = 0x81;
constexpr std::uint8_t SS_NO_DEVICE = 0x82;
constexpr std::uint8_t SS_INVALID_SRB = 0xE0;

constexpr std::uint8_t SRB_DIR_IN = 0x08;
constexpr std::uint8_t SRB_DIR_OUT = 0x10;
constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;

// Common header of every block.
constexpr std::size_t kCmd = 0, kStatus = 1, kHaId = 2, kFlags = 3;

// Host adapter inquiry (60 bytes).
constexpr std::size_t kHaCount = 8, kHaScsiId = 9, kHaManagerId = 10, kHaIdentifier = 26,
                      kHaUnique = 42, kHaFieldLen = 16;

// Get device type (27 bytes).
constexpr std::size_t kGdevTarget = 8, kGdevLun = 9, kGdevDeviceType = 10;

struct ExecOffsets {
  std::size_t target = 8, lun = 9, bufLen = 12, bufPointer = 16;
  std::size_t pointerSize, senseLen, cdbLen, haStat, targStat, postProc, cdb, sense;
};

constexpr ExecOffsets ExecLayout(std::size_t pointerSize) {
  const std::size_t grow = pointerSize - 4;
  ExecOffsets o{};
  o.pointerSize = pointerSize;
  o.senseLen = 20 + grow;
  o.cdbLen = 21 + grow;
  o.haStat = 22 + grow;
  o.targStat = 23 + grow;
  o.postProc = 24 + grow;
  o.cdb = 48 + 2 * grow;
  o.sense = 64 + 2 * grow;
  return o;
}

constexpr std::size_t kCdbMax = 16, kSenseAreaMax = 32;

// An execute request as read from a block.
struct ExecRequest {
  std::uint8_t haId, flags, target, lun;
  std::uint32_t bufLen;
  std::uintptr_t bufPointer;
  std::uint8_t senseLen, cdbLen;
  std::uintptr_t postProc;
  std::uint8_t cdb[kCdbMax];
};

ExecRequest DecodeExec(const std::uint8_t *block, const ExecOffsets &layout);

// Where the outcome goes back into the block.
struct ExecResult {
  std::uint8_t status, haStat, targStat;
  std::uint8_t sense[kSenseAreaMax];
  std::uint8_t senseBytes; // valid sense bytes in `sense`
};

// Writes HaStat, TargStat and the sense area; the status byte is written by
// the caller last, after these, with release ordering.
void EncodeExecOutcome(std::uint8_t *block, const ExecOffsets &layout, const ExecRequest &req,
                       const ExecResult &res);

} // namespace sgaspi
