// Zero-filled memory straight from the operating system, for the request
// memory arena. Pages that are never touched cost no physical memory.
#pragma once

#include <cstddef>

namespace platform::pages {
void *AllocateZeroed(std::size_t size); // nullptr when the system refuses
} // namespace platform::pages
