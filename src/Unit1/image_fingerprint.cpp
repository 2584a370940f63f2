// Block digests of the image as it was opened (image_fingerprint.h).
#include "Unit1/image_fingerprint.h"

#include "Unit1/Unit1.h"
#include "platform/runtime.h"

#include <algorithm>

namespace {

// 64-bit FNV-1a over the block, its length included. The changes to guard
// against are whole rewrites by other programs, not forgeries: whoever can
// write the file could as well have put another image there before the run.
std::uint64_t BlockDigest(const std::uint8_t *bytes, std::size_t length) {
  std::uint64_t digest = 0xCBF29CE484222325u ^ length;
  for (std::size_t i = 0; i < length; ++i) {
    digest ^= bytes[i];
    digest *= 0x100000001B3u;
  }
  return digest;
}

} // namespace

bool TakeFingerprint(platform::File *file, std::int64_t size, ImageFingerprint &fingerprint) {
  fingerprint.clear();
  fingerprint.reserve(static_cast<std::size_t>((size + TransferBlockSize - 1) / TransferBlockSize));
  for (std::int64_t at = 0; at < size; at += TransferBlockSize) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(TransferBlockSize, size - at));
    if (platform::BlockRead(file, TransferBuffer, wanted) < wanted)
      return false;
    fingerprint.push_back(BlockDigest(TransferBuffer, wanted));
  }
  platform::SeekOrRaise(file, 0);
  return true;
}

bool BlockUnchanged(const ImageFingerprint &fingerprint, std::size_t index,
                    const std::uint8_t *bytes, std::size_t length) {
  return index < fingerprint.size() && fingerprint[index] == BlockDigest(bytes, length);
}
