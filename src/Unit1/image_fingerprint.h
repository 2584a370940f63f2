// What the image file held when the run opened it, kept as one digest per
// 32768-byte block: each block read again for sending is checked against it,
// so another program rewriting the file in place (the sharing mode allows
// it) cannot make the drive take a mix of two images. The image itself is
// never held in memory.
#pragma once

#include "platform/kernel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using ImageFingerprint = std::vector<std::uint64_t>;

// Reads the first `size` bytes of the file block by block through
// TransferBuffer and leaves the file position at 0. False when the file ended
// before `size` bytes; a failed read raises InOutError.
bool TakeFingerprint(platform::File *file, std::int64_t size, ImageFingerprint &fingerprint);

// True when `bytes` are what block number `index` held when the fingerprint was taken.
bool BlockUnchanged(const ImageFingerprint &fingerprint, std::size_t index,
                    const std::uint8_t *bytes, std::size_t length);
