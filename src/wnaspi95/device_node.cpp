// The device node behind a target: an optional entry point of the manager,
//   uint32_t GetASPI32DeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size)
// answering 0 when it knows no node, else bit 0 with the path written
// NUL-terminated into `path`, and bit 1 when this process may read and write
// the node. Managers that lack it (any ASPI manager but ours) say nothing.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

namespace {

using DeviceNodeEntry = std::uint32_t (*)(std::uint8_t, std::uint8_t, char *, std::uint32_t);
constexpr std::uint32_t NodeKnown = 0x1;
constexpr std::uint32_t NodeWritable = 0x2;
constexpr std::uint32_t NodePathSize = 256;

} // namespace

bool DeviceNodeOf(std::uint8_t adapter, std::uint8_t target, std::string &node, bool &writable) {
  const auto entry = reinterpret_cast<DeviceNodeEntry>(ManagerEntry("GetASPI32DeviceNode"));
  if (entry == nullptr)
    return false;
  char path[NodePathSize] = {};
  const std::uint32_t answer = entry(adapter, target, path, sizeof path);
  if ((answer & NodeKnown) == 0)
    return false;
  path[sizeof path - 1] = '\0'; // whatever the manager wrote
  node = path;
  writable = (answer & NodeWritable) != 0;
  return true;
}
