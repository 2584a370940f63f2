// Pieces every drive command uses to fill its execute request block.
#pragma once

#include "WinGen/WinGen.h"
#include "platform/kernel.h"
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include <bit>
#include <cstdint>
#include <cstring>

// Command blocks are filled by copying byte-swapped values: big-endian only on
// a little-endian processor.
static_assert(std::endian::native == std::endian::little);

// A request block and work buffers come from request memory, which is never
// reused: the manager may write to them for as long as the request runs, and
// a broken manager even after that.
inline SRB_ExecSCSICmd &NewExecBlock() {
  return *static_cast<SRB_ExecSCSICmd *>(platform::ObtainRequestMemory(sizeof(SRB_ExecSCSICmd)));
}
inline std::uint8_t *NewWorkBuffer(std::size_t size) {
  return static_cast<std::uint8_t *>(platform::ObtainRequestMemory(size));
}

// Zero-fills the block and sets the fields every drive command shares.
inline void SetCommonFields(SRB_ExecSCSICmd &srb, std::uint8_t adapter, std::uint8_t target) {
  std::memset(&srb, 0, sizeof srb);
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = adapter;
  srb.SRB_Target = target;
  srb.SRB_Lun = 0;
  srb.SRB_SenseLen = SENSE_LEN;
}

// Numbers inside a command block go most significant byte first.
inline void PutBigEndian32(std::uint8_t *at, std::uint32_t value) {
  const std::uint32_t swapped = ByteSwap32(value);
  std::memcpy(at, &swapped, sizeof swapped);
}

inline void PutBigEndian16(std::uint8_t *at, std::uint16_t value) {
  const std::uint16_t swapped = ByteSwap16(value);
  std::memcpy(at, &swapped, sizeof swapped);
}

// The low three bytes of value, most significant first.
inline void PutBigEndian24(std::uint8_t *at, std::uint32_t value) {
  const std::uint32_t swapped = ByteSwap32(value);
  std::memcpy(at, reinterpret_cast<const std::uint8_t *>(&swapped) + 1, 3);
}
