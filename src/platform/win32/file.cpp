// Image file services on Win32: an existing file opened for reading and
// writing with both shared, so another program may still look at it.
#include "platform/kernel.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

HANDLE HandleOf(File *f) {
  return reinterpret_cast<HANDLE>(f);
}

bool Fail(int *error) {
  if (error != nullptr)
    *error = static_cast<int>(GetLastError());
  return false;
}

void Succeed(int *error) {
  if (error != nullptr)
    *error = 0;
}

} // namespace

bool PlainFileExists(const char *name) {
  DWORD attributes = GetFileAttributesA(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The file system itself matches names in any letter case.
std::string FindPlainFile(const char *name) {
  return PlainFileExists(name) ? name : "";
}

bool PlainFileReadable(const char *name, int *error) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return Fail(error);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (error != nullptr)
      *error = 0;
    return false;
  }
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return Fail(error);
  CloseHandle(h);
  Succeed(error);
  return true;
}

// Windows itself refuses to open a read-only file for writing; the test is
// made here as well so that a layer that would let it through (Wine run by
// root maps the attribute to permission bits that root ignores) refuses too.
File *OpenExistingReadWrite(const char *name, int *error) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    if (error != nullptr)
      *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Fail(error);
    return nullptr;
  }
  Succeed(error);
  return reinterpret_cast<File *>(h);
}

// A writer denies nothing to others but holds write access: an open that
// denies writing then fails with a sharing violation. The test open is
// closed before the image is opened for the transfer, whose own write access
// would fail it.
namespace {
bool OpenForWritingElsewhere(const char *name) {
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}
} // namespace

// Opened as OpenExistingReadWrite opens, and then only if it is a file on a
// disk: a device or pipe that a name leads to is refused before anything
// reaches the drive.
File *OpenImageFile(const char *name, ImageRefusal *refusal) {
  *refusal = ImageRefusal::CannotOpen;
  if (OpenForWritingElsewhere(name)) {
    *refusal = ImageRefusal::StillBeingWritten;
    return nullptr;
  }
  int error = 0;
  File *f = OpenExistingReadWrite(name, &error);
  if (f == nullptr)
    return nullptr;
  if (GetFileType(HandleOf(f)) != FILE_TYPE_DISK) {
    CloseHandle(HandleOf(f));
    return nullptr;
  }
  *refusal = ImageRefusal::None;
  return f;
}

bool ReadFromFile(File *f, void *buf, std::size_t max, std::size_t *got, int *error) {
  auto *out = static_cast<char *>(buf);
  std::size_t total = 0;
  // ReadFile may return fewer bytes than asked before the end of the file.
  while (total < max) {
    DWORD n = 0;
    if (!ReadFile(HandleOf(f), out + total, static_cast<DWORD>(max - total), &n, nullptr)) {
      if (got != nullptr)
        *got = total;
      return Fail(error);
    }
    if (n == 0)
      break;
    total += n;
  }
  if (got != nullptr)
    *got = total;
  Succeed(error);
  return true;
}

bool WriteToFile(File *f, const void *buf, std::size_t n, int *error) {
  const auto *in = static_cast<const char *>(buf);
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(HandleOf(f), in, static_cast<DWORD>(n), &written, nullptr))
      return Fail(error);
    if (written == 0) {
      if (error != nullptr)
        *error = ERROR_WRITE_FAULT;
      return false;
    }
    in += written;
    n -= written;
  }
  Succeed(error);
  return true;
}

// GetFileSize and SetFilePointer with their high halves: the Ex forms came
// only with Windows 2000, and a high half of 0xFFFFFFFF is a valid size, so
// failure is told by GetLastError.
bool FileSizeOf(File *f, std::int64_t *size, int *error) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(HandleOf(f), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    return Fail(error);
  *size = static_cast<std::int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
  Succeed(error);
  return true;
}

namespace {

bool MoveFilePointer(File *f, std::int64_t distance, DWORD method, std::int64_t *now, int *error) {
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(HandleOf(f), static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return Fail(error);
  if (now != nullptr)
    *now =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32 | low);
  Succeed(error);
  return true;
}

} // namespace

bool FilePositionOf(File *f, std::int64_t *pos, int *error) {
  return MoveFilePointer(f, 0, FILE_CURRENT, pos, error);
}

bool SeekFile(File *f, std::int64_t pos, int *error) {
  return MoveFilePointer(f, pos, FILE_BEGIN, nullptr, error);
}

bool CloseFile(File *f, int *error) {
  if (!CloseHandle(HandleOf(f)))
    return Fail(error);
  Succeed(error);
  return true;
}

std::string SystemErrorText(int error) {
  char *text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string result;
  if (n != 0 && text != nullptr)
    result.assign(text, n);
  if (text != nullptr)
    LocalFree(text);
  // System texts end in a line break that does not belong in a message box.
  while (!result.empty() &&
         (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
    result.pop_back();
  if (result.empty())
    result = "System error " + std::to_string(error);
  return result;
}

} // namespace platform
