// The three ASPI request blocks as byte offsets. Managers read and write the
// caller's block through these, never through a struct of their own, so that
// a layout fault on the caller's side shows up in what the manager does. The
// two pointer-sized fields of an execute block (data buffer and completion
// event) widen on a 64-bit caller and move every field behind them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aspikit {

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
constexpr std::uint8_t SS_ASPI_IS_BUSY = 0xE5;
constexpr std::uint8_t SS_NO_ADAPTERS = 0xE8;

// An ASPI host adapter has targets 0 to 15.
constexpr int kTargetsPerAdapter = 16;

constexpr std::uint8_t SRB_DIR_IN = 0x08;
constexpr std::uint8_t SRB_DIR_OUT = 0x10;
constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;

// Header common to every block.
constexpr std::size_t kCmd = 0, kStatus = 1, kHaId = 2, kFlags = 3;

// Host adapter inquiry (60 bytes).
constexpr std::size_t kHaCount = 8, kHaScsiId = 9, kHaManagerId = 10, kHaIdentifier = 26,
                      kHaUnique = 42, kHaTextSize = 16, kHaSize = 60;

// Get device type (27 bytes).
constexpr std::size_t kGdevTarget = 8, kGdevLun = 9, kGdevDeviceType = 10, kGdevSize = 27;

constexpr std::size_t kCdbSize = 16, kSenseAreaSize = 32;

// Execute SCSI command, for a caller whose pointers are `pointerSize` bytes.
struct ExecOffsets {
  std::size_t pointerSize = 0;
  std::size_t target = 8, lun = 9, bufLen = 12, bufPointer = 16;
  std::size_t senseLen = 0, cdbLen = 0, haStat = 0, targStat = 0, postProc = 0, cdb = 0, sense = 0,
              size = 0;
};

constexpr ExecOffsets ExecLayout(std::size_t pointerSize) {
  ExecOffsets o;
  o.pointerSize = pointerSize;
  o.senseLen = o.bufPointer + pointerSize;
  o.cdbLen = o.senseLen + 1;
  o.haStat = o.senseLen + 2;
  o.targStat = o.senseLen + 3;
  o.postProc = o.senseLen + 4;
  o.cdb = o.postProc + pointerSize + 20; // behind SRB_Rsvd2
  o.sense = o.cdb + kCdbSize;
  o.size = o.sense + kSenseAreaSize;
  return o;
}

// The layout of a caller in this process.
constexpr ExecOffsets kNativeExec = ExecLayout(sizeof(void *));

// An execute request as read from a block.
struct ExecRequest {
  std::uint8_t haId, flags, target, lun;
  std::uint32_t bufLen;
  std::uintptr_t bufPointer;
  std::uint8_t senseLen, cdbLen;
  std::uintptr_t postProc;
  std::uint8_t cdb[kCdbSize];

  bool Notifies() const { return (flags & SRB_EVENT_NOTIFY) != 0; }
};

ExecRequest DecodeExec(const std::uint8_t *block, const ExecOffsets &layout = kNativeExec);

// Writes SRB_HaStat, SRB_TargStat and at most min(senseLen, 32) bytes of
// sense; the status byte is left for PublishStatus, which must come after.
void WriteExecOutcome(std::uint8_t *block, const ExecOffsets &layout, std::uint8_t senseLen,
                      std::uint8_t haStat, std::uint8_t targStat, const std::uint8_t *sense,
                      std::size_t senseBytes);

} // namespace aspikit
