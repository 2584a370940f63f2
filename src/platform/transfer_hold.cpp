// What a firmware transfer holds, taken and let go in one place (kernel.h).
#include "platform/kernel.h"

namespace platform {
namespace {

bool Held = false;
void (*Listener)(bool held) = nullptr;

} // namespace

void HoldForTransfer() {
  if (Held)
    return;
  Held = true;
  HoldTerminatingSignals(true);
  HoldOffIdleSleep(true);
  if (Listener != nullptr)
    Listener(true);
}

void EndTransferHold(const std::string &outcome) {
  if (!Held)
    return;
  Held = false;
  if (Listener != nullptr)
    Listener(false);
  HoldOffIdleSleep(false);
  const std::string note = "fwupd32: the firmware transfer has ended: " + outcome + "\n";
  HoldTerminatingSignals(false, note.c_str());
}

bool TransferHeld() {
  return Held;
}

void ListenToTransferHold(void (*listener)(bool held)) {
  Listener = listener;
}

} // namespace platform
