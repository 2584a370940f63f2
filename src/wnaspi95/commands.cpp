// The drive operations of the pass-through layer: INQUIRY, TEST UNIT READY
// and the maker's drive-memory read (0xF1) and write (0xF0). Each builds one
// zero-filled execute block, submits it, waits for it and copies its outputs
// whatever the outcome.
#include "wnaspi95/wnaspi95.h"

#include "WinGen/WinGen.h"
#include "platform/kernel.h"

#include "wnaspi95/command_block.h"
#include <cstdint>

#include <cstring>

namespace {

constexpr std::uint8_t OpInquiry = 0x12;
constexpr std::uint8_t OpTestUnitReady = 0x00;
constexpr std::uint8_t OpReadDriveMemory = 0xF1;
constexpr std::uint8_t OpWriteDriveMemory = 0xF0;

constexpr std::size_t InquiryWorkSize = 2048;
constexpr std::size_t ReadSlack = 32; // the read buffer is R + 32 bytes long

constexpr std::uint16_t MaxReadLength = 65534; // R = length made even must fit 16 bits
constexpr std::uint16_t MaxWriteLength = 247;  // key prefix and data within 255 bytes

constexpr char DriveMemoryKey[] = "QUILMAR ";
constexpr std::size_t DriveMemoryKeyLength = sizeof DriveMemoryKey - 1;
static_assert(DriveMemoryKeyLength == 8);

// INQUIRY and TEST UNIT READY take the ATAPI 12-byte form where the adapter
// needs it; the first six bytes are the same in both forms.
std::uint8_t QueryCdbLength(std::uint8_t adapter) {
  return adapter < MaxAdapters && AtapiAdapter[adapter] ? 12 : 6;
}

// Submits a notifying block and waits for its event, then closes the event.
// Without an event (none could be made) the block goes out without the
// notification bit and the wait falls back to polling its status. The event
// of a request that never ended stays with it: the manager may signal it yet.
bool SubmitWithEvent(SRB_ExecSCSICmd &srb, platform::Event *event) {
  if (event != nullptr) {
    srb.SRB_Flags |= SRB_EVENT_NOTIFY;
    srb.SRB_PostProc = reinterpret_cast<void *>(platform::EventPostProc(event));
  }
  const std::uint32_t submitted = SubmitRequest(&srb);
  const bool ok = CompleteByEvent(&srb, event, submitted);
  if (event != nullptr && ReadStatus(&srb) != SS_PENDING) {
    platform::CloseEvent(event);
  }
  return ok;
}

} // namespace

bool Inquiry(std::uint8_t adapter, std::uint8_t target, std::uint8_t *data) {
  std::uint8_t *work = NewWorkBuffer(InquiryWorkSize);
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd &srb = NewExecBlock();
  SetCommonFields(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_IN;
  srb.SRB_BufLen = InquiryDataLength;
  srb.SRB_BufPointer = work;
  srb.SRB_CDBLen = QueryCdbLength(adapter);
  srb.CDBByte[0] = OpInquiry;
  srb.CDBByte[4] = InquiryDataLength;
  const bool ok = SubmitWithEvent(srb, event);
  std::memcpy(data, work, InquiryDataLength);
  return ok;
}

bool TestUnitReady(std::uint8_t adapter, std::uint8_t target) {
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd &srb = NewExecBlock();
  SetCommonFields(srb, adapter, target);
  srb.SRB_CDBLen = QueryCdbLength(adapter);
  srb.CDBByte[0] = OpTestUnitReady;
  return SubmitWithEvent(srb, event);
}

bool ReadDriveMemory(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                     std::uint16_t length, std::uint8_t *data) {
  if (length > MaxReadLength) { // the even length would wrap to 0 in the command
    std::memset(data, 0, length);
    return false;
  }
  // The drive transfers whole 16-bit words: an odd request is rounded up and
  // the extra byte dropped.
  const std::uint16_t even = static_cast<std::uint16_t>(length + (length & 1u));
  std::uint8_t *work = NewWorkBuffer(std::size_t{even} + ReadSlack);
  SRB_ExecSCSICmd &srb = NewExecBlock();
  SetCommonFields(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_IN;
  srb.SRB_BufLen = even;
  srb.SRB_BufPointer = work;
  srb.SRB_CDBLen = 12;
  srb.CDBByte[0] = OpReadDriveMemory;
  PutBigEndian32(&srb.CDBByte[2], address);
  PutBigEndian16(&srb.CDBByte[8], even);
  SubmitRequest(&srb);
  const bool ok = CompleteByPolling(&srb, 10, WaitPolicy::Query);
  if (length > 0) {
    std::memcpy(data, work, length);
  }
  return ok;
}

bool WriteDriveMemory(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                      std::uint16_t length, const std::uint8_t *data) {
  if (length > MaxWriteLength) {
    return false;
  }
  // The drive accepts a memory write only behind its key prefix.
  const std::uint16_t total = static_cast<std::uint16_t>(DriveMemoryKeyLength + length);
  std::uint8_t *work = NewWorkBuffer(total);
  std::memcpy(work, DriveMemoryKey, DriveMemoryKeyLength);
  if (length > 0) {
    std::memcpy(work + DriveMemoryKeyLength, data, length);
  }
  SRB_ExecSCSICmd &srb = NewExecBlock();
  SetCommonFields(srb, adapter, target);
  srb.SRB_Flags = SRB_DIR_OUT;
  srb.SRB_BufLen = total;
  srb.SRB_BufPointer = work;
  srb.SRB_CDBLen = 12;
  srb.CDBByte[0] = OpWriteDriveMemory;
  PutBigEndian32(&srb.CDBByte[2], address);
  PutBigEndian16(&srb.CDBByte[8], total);
  SubmitRequest(&srb);
  return CompleteByPolling(&srb, 10, WaitPolicy::Query);
}
