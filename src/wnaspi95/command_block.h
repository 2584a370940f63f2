// Pieces every drive command uses to fill its execute request block.
#pragma once

#include "WinGen/WinGen.h"
#include "wnaspi95/wnaspi95.h"

#include <cstdint>
#include <cstring>

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
