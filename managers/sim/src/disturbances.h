// What a broken manager, or the world around the caller, does to the
// caller's process: closes its events, sends it signals, rewrites its files.
#pragma once

#include "transcript.h"

#include <cstdint>
#include <string>

namespace simaspi {

// Closes the event in SRB_PostProc (descriptor number or HANDLE) as a
// manager that frees its caller's event would; 0 is no event.
void CloseEvent(uintptr_t postProc);

// Writes `SIGNAL sig=NAME`, then raises the signal on the calling thread.
void RaiseSignal(int signal, const std::string &name, Transcript &transcript);

// Rewrites the file in place, as `dd conv=notrunc` over it would: through a
// descriptor of its own, every byte complemented, same size, from offset 0.
// Writes `REWRITE path=WRITTEN`, with ` failed` and a note on stderr when the
// file could not be rewritten whole.
void RewriteComplemented(const std::string &path, const std::string &written,
                         Transcript &transcript);

// Appends 32768 bytes to the file, as a copy or download still writing it
// would. Writes `GROW path=WRITTEN`, with ` failed` when it could not.
void AppendBlock(const std::string &path, const std::string &written, Transcript &transcript);

} // namespace simaspi
