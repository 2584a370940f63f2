#include "commands.h"

#include <algorithm>
#include <cstring>

namespace simaspi {
namespace {

constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscOutOfRange = 0x21;
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscInvalidFieldInParameters = 0x26;

const uint8_t kKeyPrefix[8] = {'Q', 'U', 'I', 'L', 'M', 'A', 'R', ' '};

uint32_t Be32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t Be24(const uint8_t *p) {
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}
uint32_t Be16(const uint8_t *p) {
  return uint32_t(p[0]) << 8 | p[1];
}

DriveOutcome Fail(uint8_t key, uint8_t asc, uint8_t ascq = 0) {
  DriveOutcome out;
  out.status = 0x04;
  out.hasSense = true;
  out.sense = {key, asc, ascq};
  return out;
}

// Data sent with the request: the drive takes `needed` bytes, and refuses a
// request whose buffer is shorter than its command says.
bool TakeData(const DriveRequest &r, uint32_t needed) {
  return r.bufLen >= needed;
}

DriveOutcome Changed() {
  DriveOutcome out;
  out.changed = true;
  return out;
}

// A block of the image at its offset; what the outcome says was stored is
// all the result files need to write.
bool StoreImage(DriveState &drive, uint64_t at, const uint8_t *bytes, size_t count,
                DriveOutcome &out) {
  if (at + count > kMaxImageSize)
    return false;
  if (drive.image.size() < at + count)
    drive.image.resize(at + count, 0);
  if (count)
    std::memcpy(drive.image.data() + at, bytes, count);
  drive.haveImage = true;
  out = Changed();
  out.imageBegin = at;
  out.imageEnd = at + count;
  return true;
}

// Address and length of the vendor memory and block commands.
uint32_t CdbAddress(const DriveRequest &r) {
  return Be32(r.cdb + 2);
}
uint32_t CdbLength(const DriveRequest &r) {
  return Be16(r.cdb + 8);
}

DriveOutcome Inquiry(DriveState &drive, const DriveRequest &r) {
  DriveOutcome out;
  size_t count = std::min<size_t>(r.cdb[4], kInquirySize);
  out.data.assign(drive.config.inquiry.begin(), drive.config.inquiry.begin() + count);
  return out;
}

DriveOutcome ReadMemory(DriveState &drive, const DriveRequest &r) {
  DriveOutcome out;
  const uint32_t address = CdbAddress(r), length = CdbLength(r);
  out.data.assign(length, 0);
  auto it = drive.memory.lower_bound(address);
  for (; it != drive.memory.end() && it->first - uint64_t(address) < length; ++it)
    out.data[it->first - address] = it->second;
  return out;
}

DriveOutcome WriteMemory(DriveState &drive, const DriveRequest &r) {
  const uint32_t address = CdbAddress(r), length = CdbLength(r);
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (length < sizeof kKeyPrefix || std::memcmp(r.buffer, kKeyPrefix, sizeof kKeyPrefix) != 0)
    return Fail(kIllegalRequest, kAscInvalidFieldInParameters);
  size_t count = length - sizeof kKeyPrefix;
  if (uint64_t(address) + count > (uint64_t(1) << 32))
    return Fail(kIllegalRequest, kAscOutOfRange);
  drive.StoreMemory(address, r.buffer + sizeof kKeyPrefix, count);
  return Changed();
}

DriveOutcome ProgrammingBlock(DriveState &drive, const DriveRequest &r) {
  const uint32_t length = CdbLength(r);
  DriveOutcome out;
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!StoreImage(drive, CdbAddress(r), r.buffer, length, out))
    return Fail(kIllegalRequest, kAscOutOfRange);
  ++drive.programmingBlocks;
  return out;
}

DriveOutcome WriteBuffer(DriveState &drive, const DriveRequest &r) {
  uint8_t mode = r.cdb[1] & 0x1F;
  uint32_t offset = Be24(r.cdb + 3);
  uint32_t length = Be24(r.cdb + 6);
  DriveOutcome out;
  if (mode != 4 && mode != 5)
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!StoreImage(drive, offset, r.buffer, length, out))
    return Fail(kIllegalRequest, kAscOutOfRange);
  ++drive.writeBufferBlocks;
  drive.lastMode = mode;
  if (mode == 5)
    drive.ended = true;
  return out;
}

DriveOutcome TestUnitReady(DriveState &, const DriveRequest &) {
  return DriveOutcome{};
}

DriveOutcome StartProgramming(DriveState &drive, const DriveRequest &) {
  drive.programming = true;
  drive.ended = false;
  return Changed();
}

DriveOutcome EndProgramming(DriveState &drive, const DriveRequest &) {
  drive.programming = false;
  drive.ended = true;
  DriveOutcome out = Changed();
  out.data = {0x00, 0x00};
  return out;
}

const CommandKind kKinds[] = {
    {"inquiry", 0x12, Inquiry},        {"tur", 0x00, TestUnitReady},
    {"readmem", 0xF1, ReadMemory},     {"writemem", 0xF0, WriteMemory},
    {"start", 0xE1, StartProgramming}, {"block", 0xE2, ProgrammingBlock},
    {"end", 0xE4, EndProgramming},     {"writebuffer", 0x3B, WriteBuffer},
};

} // namespace

const CommandKind *KindNamed(std::string_view name) {
  for (const CommandKind &kind : kKinds)
    if (name == kind.name)
      return &kind;
  return nullptr;
}

DriveOutcome CarryOutCommand(DriveState &drive, const DriveRequest &request) {
  for (const CommandKind &kind : kKinds)
    if (request.cdb[0] == kind.opcode)
      return kind.carryOut(drive, request);
  return Fail(kIllegalRequest, kAscInvalidOpcode);
}

} // namespace simaspi
