#include "srb_layout.h"

#include <algorithm>
#include <cstring>

namespace aspikit {
namespace {

std::uint64_t ReadLittle(const std::uint8_t *p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i)
    v |= std::uint64_t{p[i]} << (8 * i);
  return v;
}

} // namespace

ExecRequest DecodeExec(const std::uint8_t *block, const ExecOffsets &o) {
  ExecRequest r{};
  r.haId = block[kHaId];
  r.flags = block[kFlags];
  r.target = block[o.target];
  r.lun = block[o.lun];
  r.bufLen = static_cast<std::uint32_t>(ReadLittle(block + o.bufLen, 4));
  r.bufPointer = static_cast<std::uintptr_t>(ReadLittle(block + o.bufPointer, o.pointerSize));
  r.senseLen = block[o.senseLen];
  r.cdbLen = block[o.cdbLen];
  r.postProc = static_cast<std::uintptr_t>(ReadLittle(block + o.postProc, o.pointerSize));
  std::memcpy(r.cdb, block + o.cdb, kCdbSize);
  return r;
}

void WriteExecOutcome(std::uint8_t *block, const ExecOffsets &o, std::uint8_t senseLen,
                      std::uint8_t haStat, std::uint8_t targStat, const std::uint8_t *sense,
                      std::size_t senseBytes) {
  block[o.haStat] = haStat;
  block[o.targStat] = targStat;
  const std::size_t n = std::min<std::size_t>({senseLen, senseBytes, kSenseAreaSize});
  if (n != 0)
    std::memcpy(block + o.sense, sense, n);
}

} // namespace aspikit
