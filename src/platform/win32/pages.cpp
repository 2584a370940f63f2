#include "platform/pages.h"

#include <windows.h>

namespace platform::pages {

void *AllocateZeroed(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

} // namespace platform::pages
