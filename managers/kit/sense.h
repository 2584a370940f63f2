// Sense data as ASPI callers read it: fixed format (response code 0x70 or
// 0x71), sense key in byte 2, ASC and ASCQ in bytes 12 and 13. Devices that
// answer in descriptor format (0x72 or 0x73) are converted to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace aspikit {

constexpr std::size_t kFixedSenseSize = 18;
using FixedSense = std::array<std::uint8_t, kFixedSenseSize>;

// Current error, additional length 10.
FixedSense MakeFixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// Copies `sense` into `out` in fixed format and returns the bytes written
// (at most `capacity`). Descriptor format becomes 18 bytes of fixed format
// carrying the key, ASC, ASCQ, and what fits of the information,
// command-specific, sense-key-specific, FRU and stream/block descriptors;
// any other format is copied as it is.
std::size_t ToFixedSense(const std::uint8_t *sense, std::size_t length, std::uint8_t *out,
                         std::size_t capacity);

struct SenseTriple {
  std::uint8_t key, asc, ascq;
};

// Key, ASC and ASCQ of fixed or descriptor sense; false when there are none.
bool DecodeSense(const std::uint8_t *sense, std::size_t length, SenseTriple &out);

} // namespace aspikit
