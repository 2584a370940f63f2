#include "device_node.h"

#include <cstring>

namespace aspikit {

std::uint32_t AnswerDeviceNode(const std::string &node, bool writable, char *path,
                               std::uint32_t size) {
  if (path != nullptr && size > 0) {
    const std::size_t n = node.size() < size - 1 ? node.size() : size - 1;
    std::memcpy(path, node.data(), n);
    path[n] = '\0';
  }
  return kNodeKnown | (writable ? kNodeWritable : 0);
}

} // namespace aspikit
