// State the pass-through layer's sources share: the manager's entry points,
// AspiLock, and the one way the layer sleeps.
#pragma once

#include <cstdint>

namespace platform {
struct Lock;
}

using SendASPI32CommandEntry = std::uint32_t (*)(void *);
using GetASPI32SupportInfoEntry = std::uint32_t (*)();

extern platform::Lock *AspiLock;
extern SendASPI32CommandEntry AspiSend; // the bound "SendASPI32Command", nullptr until bound

// Status a request gets when no manager is bound to carry it: the waits then
// end at once instead of polling a status that nobody will ever write.
constexpr std::uint8_t SS_ERR = 0x04;

void PassThroughSleep(unsigned ms);

// An entry point of the bound manager looked up by name; nullptr when no
// library is loaded or it does not export the name.
void *ManagerEntry(const char *name);

// SRB_Status is byte 1 of every request block; the manager writes it from its
// own thread, so every read and write goes to memory.
inline std::uint8_t ReadStatus(const void *block) {
  return __atomic_load_n(static_cast<const volatile std::uint8_t *>(block) + 1, __ATOMIC_ACQUIRE);
}
inline void WriteStatus(void *block, std::uint8_t status) {
  __atomic_store_n(static_cast<volatile std::uint8_t *>(block) + 1, status, __ATOMIC_RELEASE);
}

// A manager that did not accept a request (any answer but SS_PENDING) and
// left SRB_Status pending will never complete it: the answer becomes the
// status, so that no wait runs to its limit for it.
inline void SettleRefused(void *block, std::uint32_t answer) {
  if (answer != 0 && ReadStatus(block) == 0)
    WriteStatus(block, static_cast<std::uint8_t>(answer));
}
