// The request memory arena: chunks of fresh zero pages, handed out front to
// back and never reused (see kernel.h for why).
#include "platform/kernel.h"
#include "platform/pages.h"

#include <new>

namespace platform {

namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 20;
constexpr std::size_t kAlignment = 16;

// Used by the thread that runs the drive operations only.
struct Arena {
  unsigned char *next = nullptr;
  std::size_t left = 0;
  std::size_t held = 0;
};

Arena &TheArena() {
  static Arena arena;
  return arena;
}

std::size_t RoundUp(std::size_t size, std::size_t to) {
  return (size + to - 1) / to * to;
}

} // namespace

void *ObtainRequestMemory(std::size_t size) {
  Arena &arena = TheArena();
  size = RoundUp(size == 0 ? 1 : size, kAlignment);
  if (size > arena.left) {
    // The rest of the current chunk stays unused; a request larger than a
    // chunk gets pages of its own.
    const std::size_t chunk = RoundUp(size, kChunkSize);
    auto *pages = static_cast<unsigned char *>(pages::AllocateZeroed(chunk));
    if (pages == nullptr)
      throw std::bad_alloc();
    arena.next = pages;
    arena.left = chunk;
  }
  void *memory = arena.next;
  arena.next += size;
  arena.left -= size;
  arena.held += size;
  return memory;
}

std::size_t RequestMemoryHeld() {
  return TheArena().held;
}

} // namespace platform
