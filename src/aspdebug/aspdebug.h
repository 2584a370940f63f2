// Diagnostic trace: notes stamped with the time, formatted into 64-byte
// records, batched, written to the trace file and optionally echoed.
// Both switches are off in this configuration: a note is accepted and dropped.
#pragma once

#include <cstdint>
#include <string>

extern std::uint8_t TraceEnabled;
extern std::uint8_t TraceEcho;

void TraceNote(const std::string &text);
void TraceFlush();

// Process start and end work of the trace (counter frequency, lock).
void InitTrace();
void DoneTrace();
