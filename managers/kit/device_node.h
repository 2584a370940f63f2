// The managers' own optional entry point, beside the two ASPI ones:
//   uint32_t GetASPI32DeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size)
// It names the device node that serves a target and says whether this
// process may read and write it, so that a caller can tell a user which node
// to give rights to. It sends nothing to the drive. The answer is 0 when the
// manager knows no node for the address; otherwise kNodeKnown, with the path
// written NUL-terminated into `path` (cut to fit `size`), and kNodeWritable
// when the process may read and write the node.
#pragma once

#include <cstdint>
#include <string>

namespace aspikit {

constexpr char kDeviceNodeEntry[] = "GetASPI32DeviceNode";
constexpr std::uint32_t kNodeKnown = 0x1;
constexpr std::uint32_t kNodeWritable = 0x2;

// Writes `node` into the caller's buffer and returns the answer's flags.
std::uint32_t AnswerDeviceNode(const std::string &node, bool writable, char *path,
                               std::uint32_t size);

} // namespace aspikit
