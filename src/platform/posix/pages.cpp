#include "platform/pages.h"

#include <sys/mman.h>

namespace platform::pages {

void *AllocateZeroed(std::size_t size) {
  void *at = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return at == MAP_FAILED ? nullptr : at;
}

} // namespace platform::pages
