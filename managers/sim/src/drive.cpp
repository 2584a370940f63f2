#include "drive.h"

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

const FailRule *MatchingRule(const DriveState &drive, FailRule::Action action, Kind kind,
                             uint32_t occurrence) {
  for (const FailRule &rule : drive.config.fails) {
    if (rule.kind != kind || rule.action != action)
      continue;
    bool hit = rule.when == FailRule::When::All ||
               (rule.when == FailRule::When::Nth && occurrence == rule.n) ||
               (rule.when == FailRule::When::FirstN && occurrence <= rule.n);
    if (hit)
      return &rule;
  }
  return nullptr;
}

bool StoreImage(DriveState &drive, uint64_t at, const uint8_t *bytes, size_t count) {
  if (at + count > kMaxImageSize)
    return false;
  if (drive.image.size() < at + count)
    drive.image.resize(at + count, 0);
  if (count)
    std::memcpy(drive.image.data() + at, bytes, count);
  drive.haveImage = true;
  return true;
}

DriveOutcome Inquiry(const DriveState &drive, const DriveRequest &r) {
  DriveOutcome out;
  size_t count = std::min<size_t>(r.cdb[4], kInquirySize);
  out.data.assign(drive.config.inquiry.begin(), drive.config.inquiry.begin() + count);
  return out;
}

DriveOutcome ReadMemory(const DriveState &drive, const DriveRequest &r) {
  DriveOutcome out;
  uint32_t address = Be32(r.cdb + 2);
  uint32_t length = Be16(r.cdb + 8);
  out.data.assign(length, 0);
  auto it = drive.memory.lower_bound(address);
  for (; it != drive.memory.end() && it->first - uint64_t(address) < length; ++it)
    out.data[it->first - address] = it->second;
  return out;
}

DriveOutcome WriteMemory(DriveState &drive, const DriveRequest &r) {
  uint32_t address = Be32(r.cdb + 2);
  uint32_t length = Be16(r.cdb + 8);
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (length < sizeof kKeyPrefix || std::memcmp(r.buffer, kKeyPrefix, sizeof kKeyPrefix) != 0)
    return Fail(kIllegalRequest, kAscInvalidFieldInParameters);
  size_t count = length - sizeof kKeyPrefix;
  if (uint64_t(address) + count > (uint64_t(1) << 32))
    return Fail(kIllegalRequest, kAscOutOfRange);
  drive.StoreMemory(address, r.buffer + sizeof kKeyPrefix, count);
  DriveOutcome out;
  out.changed = true;
  return out;
}

DriveOutcome ProgrammingBlock(DriveState &drive, const DriveRequest &r) {
  uint32_t address = Be32(r.cdb + 2);
  uint32_t length = Be16(r.cdb + 8);
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!StoreImage(drive, address, r.buffer, length))
    return Fail(kIllegalRequest, kAscOutOfRange);
  ++drive.programmingBlocks;
  DriveOutcome out;
  out.changed = true;
  return out;
}

DriveOutcome WriteBuffer(DriveState &drive, const DriveRequest &r) {
  uint8_t mode = r.cdb[1] & 0x1F;
  uint32_t offset = Be24(r.cdb + 3);
  uint32_t length = Be24(r.cdb + 6);
  if (mode != 4 && mode != 5)
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!TakeData(r, length))
    return Fail(kIllegalRequest, kAscInvalidFieldInCdb);
  if (!StoreImage(drive, offset, r.buffer, length))
    return Fail(kIllegalRequest, kAscOutOfRange);
  ++drive.writeBufferBlocks;
  drive.lastMode = mode;
  if (mode == 5)
    drive.ended = true;
  DriveOutcome out;
  out.changed = true;
  return out;
}

DriveOutcome CarryOut(DriveState &drive, const DriveRequest &r, Kind kind, uint32_t occurrence) {
  if (const FailRule *rule = MatchingRule(drive, FailRule::Action::Fail, kind, occurrence)) {
    DriveOutcome out;
    out.status = 0x04;
    out.hasSense = rule->hasSense;
    out.sense = rule->sense;
    return out;
  }
  switch (kind) {
  case Kind::Inquiry:
    return Inquiry(drive, r);
  case Kind::Tur:
    return DriveOutcome{};
  case Kind::ReadMem:
    return ReadMemory(drive, r);
  case Kind::WriteMem:
    return WriteMemory(drive, r);
  case Kind::Start: {
    drive.programming = true;
    drive.ended = false;
    DriveOutcome out;
    out.changed = true;
    return out;
  }
  case Kind::Block:
    return ProgrammingBlock(drive, r);
  case Kind::End: {
    drive.programming = false;
    drive.ended = true;
    DriveOutcome out;
    out.data = {0x00, 0x00};
    out.changed = true;
    return out;
  }
  case Kind::WriteBuffer:
    return WriteBuffer(drive, r);
  case Kind::Other:
    break;
  }
  return Fail(kIllegalRequest, kAscInvalidOpcode);
}

} // namespace

DriveState::DriveState(const DriveConfig &cfg) : config(cfg) {
  for (const MemoryRange &range : cfg.memory)
    StoreMemory(range.address, range.bytes.data(), range.bytes.size());
}

void DriveState::StoreMemory(uint32_t address, const uint8_t *bytes, size_t count) {
  if (count == 0)
    return;
  for (size_t i = 0; i < count; ++i)
    memory[static_cast<uint32_t>(address + i)] = bytes[i];
  uint64_t begin = address, end = begin + count;
  std::vector<std::pair<uint64_t, uint64_t>> merged;
  for (const auto &range : ranges) {
    if (range.second < begin || range.first > end) {
      merged.push_back(range);
    } else {
      begin = std::min(begin, range.first);
      end = std::max(end, range.second);
    }
  }
  merged.emplace_back(begin, end);
  std::sort(merged.begin(), merged.end());
  ranges = std::move(merged);
}

Kind KindOfOpcode(uint8_t opcode) {
  switch (opcode) {
  case 0x12:
    return Kind::Inquiry;
  case 0x00:
    return Kind::Tur;
  case 0xF1:
    return Kind::ReadMem;
  case 0xF0:
    return Kind::WriteMem;
  case 0xE1:
    return Kind::Start;
  case 0xE2:
    return Kind::Block;
  case 0xE4:
    return Kind::End;
  case 0x3B:
    return Kind::WriteBuffer;
  default:
    return Kind::Other;
  }
}

DriveOutcome ExecuteOnDrive(DriveState &drive, const DriveRequest &r) {
  Kind kind = KindOfOpcode(r.cdb[0]);
  uint32_t occurrence = ++drive.occurrences[kind];
  if (MatchingRule(drive, FailRule::Action::Hang, kind, occurrence)) {
    DriveOutcome out;
    out.hang = true;
    return out;
  }
  DriveOutcome out = CarryOut(drive, r, kind, occurrence);
  out.twice = MatchingRule(drive, FailRule::Action::CompleteTwice, kind, occurrence) != nullptr;
  return out;
}

} // namespace simaspi