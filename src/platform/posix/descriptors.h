// Descriptor numbers and the events handed to managers (POSIX only).
#pragma once

namespace platform {

// A manager writes its signal to the descriptor number it was given in
// SRB_PostProc, and a broken one may close that number first: whatever the
// program opens later could then take it and receive the signal's 8 bytes.
// Every descriptor the program opens passes through here: on a number that
// was ever an event it is moved to another, the number is parked on a
// harmless descriptor of its own and that event is never used again.
// Returns the descriptor's number, or -1 (with `fd` closed) on failure.
int KeepClearOfEvents(int fd);

} // namespace platform
