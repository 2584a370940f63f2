// The firmware-sending drive operations: the maker's programming-mode block
// transfer (0xE1 start, 0xE2 block, 0xE4 end) and WRITE BUFFER (10) microcode
// download. Both senders take their data from TransferBuffer.
#include "Unit1/Unit1.h"

#include "WinGen/WinGen.h"
#include "wnaspi95/wnaspi95.h"

#include "wnaspi95/command_block.h"
#include <cstdint>

#include <cstring>

// Aligned so that blocks sent from it pass the manager's DWORD test.
alignas(16) std::uint8_t TransferBuffer[TransferBlockSize];

namespace {

constexpr std::uint8_t OpStartFirmwareSend = 0xE1;
constexpr std::uint8_t OpSendFirmwareBlock = 0xE2;
constexpr std::uint8_t OpEndFirmwareSend = 0xE4;
constexpr std::uint8_t OpWriteBuffer = 0x3B;

constexpr std::uint8_t ModeDownload = 0x04;
constexpr std::uint8_t ModeDownloadAndSave = 0x05;

// The block at this image address goes out with 0x00 instead of 0x01 in byte 1.
constexpr std::uint32_t SpecialBlockAddress = 0x38000;

// WRITE BUFFER's offset and length fields are 24 bits wide.
constexpr std::uint32_t WriteBufferFieldLimit = std::uint32_t{1} << 24;

// The maker's commands are 12-byte blocks; WRITE BUFFER sets its own 10.
void StartSenderBlock(SRB_ExecSCSICmd &srb, std::uint8_t adapter, std::uint8_t target) {
  SetCommonFields(srb, adapter, target);
  srb.SRB_CDBLen = 12;
}

bool SubmitAndPoll(SRB_ExecSCSICmd &srb) {
  SubmitRequest(&srb);
  return CompleteByPolling(&srb, 0, WaitPolicy::Firmware);
}

} // namespace

bool StartFirmwareSend(std::uint8_t adapter, std::uint8_t target) {
  SRB_ExecSCSICmd &srb = NewExecBlock();
  StartSenderBlock(srb, adapter, target);
  srb.CDBByte[0] = OpStartFirmwareSend;
  srb.CDBByte[1] = 0x04;
  srb.CDBByte[2] = 0xFF;
  return SubmitAndPoll(srb);
}

bool SendFirmwareBlock(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                       std::uint16_t length) {
  if (length > TransferBlockSize) { // would send bytes from beyond TransferBuffer
    return false;
  }
  SRB_ExecSCSICmd &srb = NewExecBlock();
  StartSenderBlock(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_OUT;
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = TransferBuffer;
  srb.CDBByte[0] = OpSendFirmwareBlock;
  srb.CDBByte[1] = address == SpecialBlockAddress ? 0x00 : 0x01;
  PutBigEndian32(&srb.CDBByte[2], address);
  PutBigEndian16(&srb.CDBByte[8], length);
  return SubmitAndPoll(srb);
}

bool EndFirmwareSend(std::uint8_t adapter, std::uint8_t target) {
  std::uint8_t *reply = NewWorkBuffer(2); // the drive's two bytes are not used
  SRB_ExecSCSICmd &srb = NewExecBlock();
  StartSenderBlock(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_IN;
  srb.SRB_BufLen = 2;
  srb.SRB_BufPointer = reply;
  srb.CDBByte[0] = OpEndFirmwareSend;
  return SubmitAndPoll(srb);
}

bool WriteBuffer(std::uint8_t adapter, std::uint8_t target, std::uint32_t offset,
                 std::uint32_t length, bool last, std::uint8_t &senseKey, std::uint8_t &asc,
                 std::uint8_t &ascq) {
  senseKey = 0;
  asc = 0;
  ascq = 0;
  // A truncated offset would put the block at the wrong place in the drive's
  // buffer; a length beyond TransferBuffer would send foreign memory.
  if (offset >= WriteBufferFieldLimit || length > TransferBlockSize) {
    return false;
  }
  SRB_ExecSCSICmd &srb = NewExecBlock();
  StartSenderBlock(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_OUT;
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = TransferBuffer;
  srb.SRB_CDBLen = 10;
  srb.CDBByte[0] = OpWriteBuffer;
  srb.CDBByte[1] = last ? ModeDownloadAndSave : ModeDownload;
  srb.CDBByte[2] = 0; // buffer id
  PutBigEndian24(&srb.CDBByte[3], offset);
  PutBigEndian24(&srb.CDBByte[6], length);
  const bool ok = SubmitAndPoll(srb);
  // Fixed-format sense: key in byte 2 taken whole, ASC and ASCQ in 12 and 13.
  // A request abandoned while pending has none yet.
  if (ReadStatus(&srb) != SS_PENDING) {
    senseKey = srb.SenseArea[2];
    asc = srb.SenseArea[12];
    ascq = srb.SenseArea[13];
  }
  return ok;
}
