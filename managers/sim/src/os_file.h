// The file services the simulator's disturbances use, one implementation per
// operating system (os_file_posix.cpp, os_file_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simaspi::os {

// A descriptor or a HANDLE; kNoFile (-1 in either) when none.
using FileId = std::intptr_t;
constexpr FileId kNoFile = -1;

// Opens an existing file for reading and writing; kNoFile on failure.
FileId OpenReadWrite(const std::string &path);
void CloseFile(FileId file);

// Bytes read at `at`: 0 at the end of the file, -1 on an error.
std::int64_t ReadAt(FileId file, std::uint64_t at, std::uint8_t *bytes, std::size_t count);
// Bytes written at `at`; 0 or -1 on an error.
std::int64_t WriteAt(FileId file, std::uint64_t at, const std::uint8_t *bytes, std::size_t count);

// Why the last of the calls above failed.
std::string LastErrorText();

// Closes an event as the caller handed it in SRB_PostProc: a descriptor
// number or a HANDLE, never 0.
void CloseEventHandle(std::uintptr_t postProc);

} // namespace simaspi::os
