#include "sense.h"

#include <algorithm>
#include <cstring>

namespace aspikit {
namespace {

constexpr std::uint8_t kFixedCurrent = 0x70, kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72, kDescriptorDeferred = 0x73;

// Fixed format fields.
constexpr std::size_t kKey = 2, kInformation = 3, kAdditionalLength = 7, kCommandSpecific = 8,
                      kAsc = 12, kAscq = 13, kFru = 14, kKeySpecific = 15;
constexpr std::uint8_t kValid = 0x80, kStreamBits = 0xE0, kIli = 0x20;

// Descriptor types (SPC-4 4.5.2.1).
constexpr std::uint8_t kInformationDesc = 0x00, kCommandSpecificDesc = 0x01,
                       kKeySpecificDesc = 0x02, kFruDesc = 0x03, kStreamDesc = 0x04,
                       kBlockDesc = 0x05;

bool IsDescriptor(std::uint8_t code) {
  return code == kDescriptorCurrent || code == kDescriptorDeferred;
}

// An 8-byte big-endian field into a 4-byte one; false when it does not fit.
bool NarrowTo4(const std::uint8_t *from8, std::uint8_t *to4) {
  if (from8[0] | from8[1] | from8[2] | from8[3])
    return false;
  std::memcpy(to4, from8 + 4, 4);
  return true;
}

void CopyDescriptor(const std::uint8_t *d, std::size_t bodyLength, FixedSense &f) {
  switch (d[0]) {
  case kInformationDesc:
    if (bodyLength >= 10 && NarrowTo4(d + 4, &f[kInformation]) && (d[2] & kValid))
      f[0] |= kValid;
    break;
  case kCommandSpecificDesc:
    if (bodyLength >= 10)
      NarrowTo4(d + 4, &f[kCommandSpecific]);
    break;
  case kKeySpecificDesc:
    if (bodyLength >= 6)
      std::memcpy(&f[kKeySpecific], d + 4, 3);
    break;
  case kFruDesc:
    if (bodyLength >= 2)
      f[kFru] = d[3];
    break;
  case kStreamDesc:
    if (bodyLength >= 2)
      f[kKey] |= d[3] & kStreamBits;
    break;
  case kBlockDesc:
    if (bodyLength >= 2)
      f[kKey] |= d[3] & kIli;
    break;
  default:
    break;
  }
}

// `length` is at least 4.
FixedSense FromDescriptor(const std::uint8_t *s, std::size_t length) {
  FixedSense f{};
  f[0] = (s[0] & 0x7F) == kDescriptorDeferred ? kFixedDeferred : kFixedCurrent;
  f[kAdditionalLength] = kFixedSenseSize - 8;
  f[kKey] = s[1] & 0x0F;
  f[kAsc] = s[2];
  f[kAscq] = s[3];
  // Descriptors follow byte 8, as many as the additional length says.
  const std::size_t end = length >= 8 ? std::min<std::size_t>(length, 8 + s[7]) : 0;
  for (std::size_t at = 8; at + 2 <= end;) {
    const std::size_t bodyLength = s[at + 1];
    if (at + 2 + bodyLength > end)
      break;
    CopyDescriptor(s + at, bodyLength, f);
    at += 2 + bodyLength;
  }
  return f;
}

} // namespace

FixedSense MakeFixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  FixedSense f{};
  f[0] = kFixedCurrent;
  f[kKey] = key;
  f[kAdditionalLength] = kFixedSenseSize - 8;
  f[kAsc] = asc;
  f[kAscq] = ascq;
  return f;
}

std::size_t ToFixedSense(const std::uint8_t *sense, std::size_t length, std::uint8_t *out,
                         std::size_t capacity) {
  if (sense == nullptr || length == 0)
    return 0;
  if (!IsDescriptor(sense[0] & 0x7F) || length < 4) {
    const std::size_t n = std::min(length, capacity);
    std::memcpy(out, sense, n);
    return n;
  }
  const FixedSense fixed = FromDescriptor(sense, length);
  const std::size_t n = std::min(fixed.size(), capacity);
  std::memcpy(out, fixed.data(), n);
  return n;
}

bool DecodeSense(const std::uint8_t *sense, std::size_t length, SenseTriple &out) {
  if (sense == nullptr || length < 1)
    return false;
  const std::uint8_t code = sense[0] & 0x7F;
  if ((code == kFixedCurrent || code == kFixedDeferred) && length > kAscq) {
    out = {static_cast<std::uint8_t>(sense[kKey] & 0x0F), sense[kAsc], sense[kAscq]};
    return true;
  }
  if (IsDescriptor(code) && length >= 4) {
    out = {static_cast<std::uint8_t>(sense[1] & 0x0F), sense[2], sense[3]};
    return true;
  }
  return false;
}

} // namespace aspikit
