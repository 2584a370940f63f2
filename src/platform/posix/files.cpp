// Files for the image and the trace: existing files only, read and write,
// and image names found in any letter case, as Windows finds them.
#include "platform/kernel.h"
#include "platform/posix/descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace platform {

struct File {
  int fd;
};

namespace {
bool Fail(int *error) {
  if (error != nullptr)
    *error = errno;
  return false;
}

// Letters compared as the image names are written: ASCII, whatever the locale.
bool SameInAnyCase(const char *a, const char *b) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (upper(*a) != upper(*b))
      return false;
  return *a == *b;
}
} // namespace

bool PlainFileExists(const char *name) {
  struct stat st {};
  return name != nullptr && stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

std::string FindPlainFile(const char *name) {
  if (PlainFileExists(name))
    return name;
  std::string found;
  DIR *dir = opendir(".");
  if (dir == nullptr)
    return found;
  while (const dirent *entry = readdir(dir)) {
    if (SameInAnyCase(entry->d_name, name) && (found.empty() || found > entry->d_name) &&
        PlainFileExists(entry->d_name))
      found = entry->d_name;
  }
  closedir(dir);
  return found;
}

bool PlainFileReadable(const char *name, int *error) {
  struct stat st {};
  if (stat(name, &st) != 0)
    return Fail(error);
  if (!S_ISREG(st.st_mode)) {
    if (error != nullptr)
      *error = 0;
    return false;
  }
  const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0)
    return Fail(error);
  close(fd);
  return true;
}

// A file without any write permission bit counts as read-only, as the
// read-only attribute does on Windows: refused even where the permission
// check would let the caller (root) open it for writing.
File *OpenExistingReadWrite(const char *name, int *error) {
  const int fd = KeepClearOfEvents(open(name, O_RDWR | O_CLOEXEC));
  if (fd < 0) {
    Fail(error);
    return nullptr;
  }
  struct stat st {};
  const bool known = fstat(fd, &st) == 0;
  if (!known || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    const int why = known ? EACCES : errno;
    close(fd);
    if (error != nullptr)
      *error = why;
    return nullptr;
  }
  return new File{fd};
}

namespace {

// Whether another process holds the file open for writing: a read lease
// cannot be taken then. Leases need the file's owner or CAP_LEASE, and some
// file systems have none; where none can be taken the answer is no, and the
// size and block checks during the transfer still stand.
bool OpenForWritingElsewhere(int fd) {
  // Should a writer come in the instant the lease is held, its breaking is
  // announced with a signal that is ignored by default, not with SIGIO.
  fcntl(fd, F_SETSIG, SIGURG);
  if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    fcntl(fd, F_SETLEASE, F_UNLCK);
    return false;
  }
  return errno == EAGAIN;
}

// As the read-write open would refuse it: no write permission bit at all
// (the read-only attribute), or not writable for this user or on this medium.
bool WritableImage(int fd, const char *name) {
  struct stat st {};
  if (fstat(fd, &st) != 0)
    return false;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return false;
  }
  return faccessat(AT_FDCWD, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

// Opened for reading only: nothing can write the image through it, and a
// writable descriptor of ours would hide a writer from the lease test. A
// link is not followed and a device, pipe or directory swapped in for the
// file is refused before anything reaches the drive; a pipe must not block
// the open, so it is made without waiting.
File *OpenImageFile(const char *name, ImageRefusal *refusal) {
  *refusal = ImageRefusal::CannotOpen;
  const int fd =
      KeepClearOfEvents(open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd < 0)
    return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !WritableImage(fd, name)) {
    close(fd);
    return nullptr;
  }
  if (OpenForWritingElsewhere(fd)) {
    close(fd);
    *refusal = ImageRefusal::StillBeingWritten;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *refusal = ImageRefusal::None;
  return new File{fd};
}

bool ReadFromFile(File *f, void *buf, std::size_t max, std::size_t *got, int *error) {
  std::size_t total = 0;
  while (total < max) {
    const ssize_t n = read(f->fd, static_cast<char *>(buf) + total, max - total);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      *got = total;
      return Fail(error);
    }
    if (n == 0)
      break;
    total += static_cast<std::size_t>(n);
  }
  *got = total;
  return true;
}

bool WriteToFile(File *f, const void *buf, std::size_t n, int *error) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = write(f->fd, static_cast<const char *>(buf) + done, n - done);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      return Fail(error);
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

bool FileSizeOf(File *f, std::int64_t *size, int *error) {
  struct stat st {};
  if (fstat(f->fd, &st) != 0)
    return Fail(error);
  *size = static_cast<std::int64_t>(st.st_size);
  return true;
}

bool FilePositionOf(File *f, std::int64_t *pos, int *error) {
  const off_t at = lseek(f->fd, 0, SEEK_CUR);
  if (at < 0)
    return Fail(error);
  *pos = static_cast<std::int64_t>(at);
  return true;
}

bool SeekFile(File *f, std::int64_t pos, int *error) {
  if (lseek(f->fd, static_cast<off_t>(pos), SEEK_SET) < 0)
    return Fail(error);
  return true;
}

bool CloseFile(File *f, int *error) {
  if (f == nullptr)
    return true;
  const int rc = close(f->fd);
  delete f;
  if (rc != 0)
    return Fail(error);
  return true;
}

std::string SystemErrorText(int error) {
  return std::strerror(error);
}

} // namespace platform
