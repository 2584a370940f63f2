#include "results.h"

#include "transcript.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#endif

namespace simaspi {
namespace {

// rename() does not replace an existing file on Windows.
bool ReplaceWith(const std::string &from, const std::string &to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void MakeDirs(const std::string &dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/')
#ifdef _WIN32
      ::_mkdir(dir.substr(0, pos).c_str());
#else
      ::mkdir(dir.substr(0, pos).c_str(), 0777);
#endif
  }
}

// Written beside the target and renamed over it, so a reader never sees half a file.
void WriteFile(const std::string &path, const void *bytes, size_t count) {
  const std::string temp = path + ".tmp";
  std::FILE *f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "simaspi: cannot write '%s'\n", temp.c_str());
    return;
  }
  bool ok = std::fwrite(bytes, 1, count, f) == count;
  ok = std::fclose(f) == 0 && ok;
  if (!ok || !ReplaceWith(temp, path))
    std::fprintf(stderr, "simaspi: cannot write '%s'\n", path.c_str());
}

void WriteText(const std::string &path, const std::string &text) {
  WriteFile(path, text.data(), text.size());
}

std::string MemoryText(const DriveState &drive) {
  std::string text;
  for (const auto &[begin, end] : drive.ranges) {
    std::string bytes;
    for (uint64_t a = begin; a < end; ++a) {
      auto it = drive.memory.find(static_cast<uint32_t>(a));
      uint8_t b = it == drive.memory.end() ? 0 : it->second;
      bytes += Hex(&b, 1);
    }
    text += std::to_string(begin) + " " + bytes + "\n";
  }
  return text;
}

std::string StateText(const DriveState &drive) {
  return std::string("mode=") + (drive.programming ? "programming" : "idle") +
         "\nwritebuffer_blocks=" + std::to_string(drive.writeBufferBlocks) +
         "\nlast_mode=" + std::to_string(drive.lastMode) + "\nended=" + (drive.ended ? "1" : "0") +
         "\nprogramming_blocks=" + std::to_string(drive.programmingBlocks) + "\n";
}

} // namespace

DriveResults::DriveResults(const std::string &dir, int adapter, int target)
    : dir_(dir), stem_(dir + "/drive-" + std::to_string(adapter) + "-" + std::to_string(target)) {}

void DriveResults::Update(const DriveState &drive, const DriveOutcome &outcome) {
  if (!dirMade_) {
    MakeDirs(dir_);
    dirMade_ = true;
  }
  if (drive.haveImage)
    WriteFirmware(drive, outcome.imageBegin, outcome.imageEnd);
  std::string memory = MemoryText(drive);
  if (!memoryWritten_ || memory != memoryText_) {
    WriteText(stem_ + ".memory", memory);
    memoryText_ = std::move(memory);
    memoryWritten_ = true;
  }
  WriteText(stem_ + ".state", StateText(drive));
}

// The first write of a run replaces the file with the whole image; later
// ones write in place, from the end of the file where a block lies beyond
// it, so the file never has a hole.
void DriveResults::WriteFirmware(const DriveState &drive, uint64_t begin, uint64_t end) {
  const std::string path = stem_ + ".firmware";
  std::FILE *f = firmwareStarted_ ? std::fopen(path.c_str(), "r+b") : nullptr;
  if (f == nullptr) {
    f = std::fopen(path.c_str(), "wb");
    firmwareSize_ = 0;
    begin = 0;
    end = drive.image.size();
  }
  begin = std::min(begin, firmwareSize_);
  bool ok = f != nullptr && std::fseek(f, static_cast<long>(begin), SEEK_SET) == 0 &&
            std::fwrite(drive.image.data() + begin, 1, end - begin, f) == end - begin;
  ok = f != nullptr && std::fclose(f) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "simaspi: cannot write '%s'\n", path.c_str());
    firmwareStarted_ = false; // next time, the whole image again
    return;
  }
  firmwareStarted_ = true;
  firmwareSize_ = std::max(firmwareSize_, end);
}

} // namespace simaspi
