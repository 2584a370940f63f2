#include "entry_points.h"

#include <cstring>

namespace aspikit {

std::uint32_t SupportInfoFor(std::size_t adapterCount) {
  const auto count = static_cast<std::uint32_t>(adapterCount);
  return count ? (std::uint32_t{SS_COMP} << 8) | count : std::uint32_t{SS_NO_ADAPTERS} << 8;
}

void CopyText(std::uint8_t *field, const std::string &text) {
  std::memset(field, 0, kHaTextSize);
  std::memcpy(field, text.data(), text.size() < kHaTextSize ? text.size() : kHaTextSize);
}

bool BadExecRequest(const ExecRequest &req) {
  return req.cdbLen == 0 || req.cdbLen > kCdbSize || (req.bufLen != 0 && req.bufPointer == 0) ||
         ((req.flags & SRB_DIR_IN) && (req.flags & SRB_DIR_OUT));
}

} // namespace aspikit
