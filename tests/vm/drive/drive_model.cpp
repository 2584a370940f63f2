#include "drive_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qdrive {
namespace {

constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00}, kInvalidField{0x05, 0x24, 0x00},
    kOutOfRange{0x05, 0x21, 0x00}, kSequenceError{0x05, 0x2C, 0x00},
    kBadParameterList{0x05, 0x26, 0x00}, kPowerOnReset{0x06, 0x29, 0x00},
    kBecomingReady{0x02, 0x04, 0x01};
constexpr std::uint32_t kLoaderSpecialAddress = 0x38000;
constexpr std::uint32_t kMemoryAddress = 74;
const char kMemoryKey[] = "QUILMAR ";

std::uint32_t Big(const std::uint8_t *p, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = v << 8 | p[i];
  return v;
}

void PutPadded(std::uint8_t *dst, const std::string &text, std::size_t width) {
  std::memset(dst, ' ', width);
  std::memcpy(dst, text.data(), std::min(text.size(), width));
}

Reply Rejected(const Sense &sense, std::string note) {
  Reply r = CheckCondition(sense);
  r.note = std::move(note);
  return r;
}

bool ParseHexByte(const std::string &text, std::uint8_t &out) {
  if (text.empty() || text.size() > 2)
    return false;
  char *end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 16);
  out = static_cast<std::uint8_t>(v);
  return *end == '\0';
}

std::vector<std::string> Split(const std::string &text, char by) {
  std::vector<std::string> parts(1);
  for (char c : text)
    if (c == by)
      parts.emplace_back();
    else
      parts.back().push_back(c);
  return parts;
}

bool ParseSense(const std::string &text, Sense &out) {
  const auto p = Split(text, '/');
  return p.size() == 3 && ParseHexByte(p[0], out.key) && ParseHexByte(p[1], out.asc) &&
         ParseHexByte(p[2], out.ascq);
}

} // namespace

Reply CheckCondition(const Sense &s) {
  Reply r;
  r.status = 0x02;
  if (s.descriptor) {
    r.sense = {0x72, s.key, s.asc, s.ascq, 0, 0, 0, 0};
  } else {
    r.sense.assign(18, 0);
    r.sense[0] = 0x70;
    r.sense[2] = s.key;
    r.sense[7] = 10; // additional sense length
    r.sense[12] = s.asc;
    r.sense[13] = s.ascq;
  }
  return r;
}

std::string ParseToken(const std::string &token, DriveConfig &config) {
  const auto eq = token.find('=');
  const std::string key = token.substr(0, eq),
                    value = eq == std::string::npos ? "" : token.substr(eq + 1);
  std::string blanked = value;
  std::replace(blanked.begin(), blanked.end(), '_', ' ');
  const auto parts = Split(blanked, ':');
  if (key == "id" && parts.size() == 3) {
    config.vendor = parts[0], config.product = parts[1], config.revision = parts[2];
    return "";
  }
  if (key == "type" && ParseHexByte(value, config.deviceType))
    return "";
  if (key == "mem74" && value.size() == 8) {
    for (int i = 0; i < 4; ++i)
      if (!ParseHexByte(value.substr(2 * i, 2), config.memory74[i]))
        return "bad byte in " + token;
    return "";
  }
  if (key == "fail" && (parts.size() == 3 || (parts.size() == 4 && parts[3] == "desc"))) {
    Fault f;
    f.nth = static_cast<unsigned>(std::atoi(parts[1].c_str()));
    f.sense.descriptor = parts.size() == 4;
    if (ParseHexByte(parts[0], f.opcode) && ParseSense(parts[2], f.sense)) {
      config.faults.push_back(f);
      return "";
    }
  }
  if (key == "reboot" && parts.size() == 2) {
    config.reboots = true;
    config.rebootRevision = parts[0] == "-" ? "" : parts[0];
    config.rebootCommands = static_cast<unsigned>(std::atoi(parts[1].c_str()));
    return "";
  }
  if (key == "slow" && (parts.size() == 2 || parts.size() == 3)) {
    Slowness s;
    if (parts.size() == 3)
      s.nth = static_cast<unsigned>(std::atoi(parts[1].c_str()));
    s.milliseconds = static_cast<unsigned>(std::atoi(parts.back().c_str()));
    if (ParseHexByte(parts[0], s.opcode)) {
      config.slow.push_back(s);
      return "";
    }
  }
  return "cannot use " + token;
}

DriveModel::DriveModel(DriveConfig config) : config_(std::move(config)) {
  std::memcpy(memory_ + kMemoryAddress, config_.memory74, 4);
}

Reply DriveModel::Handle(const std::uint8_t *cdb, std::size_t cdbLen, const std::uint8_t *out,
                         std::size_t outLen, std::uint8_t *in, std::size_t inLen) {
  if (cdbLen == 0)
    return CheckCondition(kInvalidOpcode);
  const std::uint8_t op = cdb[0];
  if (booting_ > 0) {
    if (--booting_ == 0)
      unitAttention_ = true; // the reset, told once it runs again
    return Rejected(kBecomingReady, "restarting");
  }
  // A pending unit attention answers every command but INQUIRY, REQUEST
  // SENSE and REPORT LUNS once, as a drive does after power-on.
  if (unitAttention_ && op != 0x12 && op != 0x03 && op != 0xA0) {
    unitAttention_ = false;
    return Rejected(kPowerOnReset, "unit attention");
  }
  const unsigned nth = ++counts_[op];
  unsigned delay = 0;
  for (const auto &s : config_.slow)
    if (s.opcode == op && (s.nth == 0 || s.nth == nth))
      delay = s.milliseconds;
  for (const auto &f : config_.faults)
    if (f.opcode == op && (f.nth == 0 || f.nth == nth)) {
      Reply r = Rejected(f.sense, "fault switch");
      r.delayMs = delay;
      return r;
    }

  Reply r;
  switch (op) {
  case 0x00: // TEST UNIT READY
    break;
  case 0x12:
    r = Inquiry(cdb, in, inLen);
    break;
  case 0x3B:
    r = WriteBuffer(cdb, outLen);
    if (r.status == 0 && (cdb[1] & 0x1F) == 5 && config_.reboots) {
      if (!config_.rebootRevision.empty())
        config_.revision = config_.rebootRevision;
      booting_ = config_.rebootCommands;
      unitAttention_ = booting_ == 0;
      r.note += ", restarting";
    }
    break;
  case 0xF1:
    r = ReadMemory(cdb, in, inLen);
    break;
  case 0xF0:
    r = WriteMemory(cdb, out, outLen);
    break;
  case 0xE1:
  case 0xE2:
  case 0xE4:
    r = LoaderCommand(cdb, out, outLen, in, inLen);
    break;
  default:
    r = CheckCondition(kInvalidOpcode);
  }
  r.delayMs = delay;
  return r;
}

Reply DriveModel::Inquiry(const std::uint8_t *cdb, std::uint8_t *in, std::size_t inLen) const {
  if (cdb[1] & 0x01) // no vital product data pages
    return CheckCondition(kInvalidField);
  std::uint8_t data[96] = {};
  data[0] = config_.deviceType;
  data[1] = 0x80; // removable medium
  data[2] = 0x02; // SCSI-2, as the drives of this family report
  data[3] = 0x02;
  data[4] = sizeof data - 5;
  PutPadded(data + 8, config_.vendor, 8);
  PutPadded(data + 16, config_.product, 16);
  PutPadded(data + 32, config_.revision, 4);
  Reply r;
  r.dataIn = std::min<std::size_t>({inLen, sizeof data, Big(cdb + 3, 2)});
  std::memcpy(in, data, r.dataIn);
  return r;
}

Reply DriveModel::WriteBuffer(const std::uint8_t *cdb, std::size_t outLen) {
  const std::uint8_t mode = cdb[1] & 0x1F;
  const std::uint32_t offset = Big(cdb + 3, 3), length = Big(cdb + 6, 3);
  if (mode != 4 && mode != 5 && mode != 7)
    return Rejected(kInvalidField, "mode " + std::to_string(mode));
  if (length != outLen)
    return Rejected(kInvalidField, "length " + std::to_string(length) + " with " +
                                       std::to_string(outLen) + " bytes of data");
  if (offset == 0 && mode != 5)
    downloadNext_ = 0; // a new download starts
  if (offset != downloadNext_)
    return Rejected(kInvalidField, "offset " + std::to_string(offset) + ", expected " +
                                       std::to_string(downloadNext_));
  Reply r;
  r.store = Store::Download;
  r.storeOffset = offset;
  downloadNext_ = offset + length;
  if (mode == 5) {
    r.note = "download saved, " + std::to_string(downloadNext_) + " bytes";
    downloadNext_ = 0;
  }
  return r;
}

Reply DriveModel::ReadMemory(const std::uint8_t *cdb, std::uint8_t *in, std::size_t inLen) const {
  const std::uint32_t address = Big(cdb + 2, 4), length = Big(cdb + 8, 2);
  if (length != inLen)
    return Rejected(kInvalidField, "length " + std::to_string(length));
  if (address + length > sizeof memory_)
    return CheckCondition(kOutOfRange);
  std::memcpy(in, memory_ + address, length);
  Reply r;
  r.dataIn = length;
  return r;
}

Reply DriveModel::WriteMemory(const std::uint8_t *cdb, const std::uint8_t *out,
                              std::size_t outLen) {
  const std::uint32_t address = Big(cdb + 2, 4), length = Big(cdb + 8, 2);
  const std::size_t keyLen = sizeof kMemoryKey - 1;
  if (length != outLen || outLen < keyLen)
    return Rejected(kInvalidField, "length " + std::to_string(length));
  if (std::memcmp(out, kMemoryKey, keyLen) != 0)
    return Rejected(kBadParameterList, "key prefix missing");
  if (address + outLen - keyLen > sizeof memory_)
    return CheckCondition(kOutOfRange);
  std::memcpy(memory_ + address, out + keyLen, outLen - keyLen);
  Reply r;
  r.note = "memory " + std::to_string(address) + " =";
  for (std::size_t i = keyLen; i < outLen; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", out[i]);
    r.note += hex;
  }
  return r;
}

Reply DriveModel::LoaderCommand(const std::uint8_t *cdb, const std::uint8_t *out,
                                std::size_t outLen, std::uint8_t *in, std::size_t inLen) {
  Reply r;
  if (cdb[0] == 0xE1) {
    if (cdb[1] != 0x04 || cdb[2] != 0xFF)
      return CheckCondition(kInvalidField);
    loaderOpen_ = true, loaderNext_ = 0, loaderSum_ = 0;
    return r;
  }
  if (!loaderOpen_)
    return Rejected(kSequenceError, "no transfer open");
  if (cdb[0] == 0xE4) {
    if (inLen < 2)
      return Rejected(kInvalidField, "reply needs 2 bytes");
    in[0] = static_cast<std::uint8_t>(loaderSum_ >> 8), in[1] = loaderSum_ & 0xFF;
    r.dataIn = 2;
    r.note = "transfer closed, " + std::to_string(loaderNext_) + " bytes";
    loaderOpen_ = false;
    return r;
  }
  const std::uint32_t address = Big(cdb + 2, 4), length = Big(cdb + 8, 2);
  const std::uint8_t byte1 = address == kLoaderSpecialAddress ? 0x00 : 0x01;
  if (cdb[1] != byte1)
    return Rejected(kInvalidField, "byte 1 at address " + std::to_string(address));
  if (address != loaderNext_ || length != outLen)
    return Rejected(kInvalidField, "address " + std::to_string(address) + ", expected " +
                                       std::to_string(loaderNext_));
  for (std::size_t i = 0; i < outLen; ++i)
    loaderSum_ = static_cast<std::uint16_t>(loaderSum_ + out[i]);
  loaderNext_ += length;
  r.store = Store::Loader;
  r.storeOffset = address;
  return r;
}

} // namespace qdrive
