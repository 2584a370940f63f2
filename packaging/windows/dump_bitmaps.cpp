// Build-machine helper: writes the program icon and the jumper picture, which
// the toolkit holds as byte arrays, to files for the resource compiler.
#include "platform/toolkit/layouts.h"

#include <cstdio>

namespace {

bool Dump(const char *path, const unsigned char *bytes, std::size_t size) {
  std::FILE *f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::perror(path);
    return false;
  }
  bool ok = std::fwrite(bytes, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dump_bitmaps ICON.ico JUMPER.bmp\n");
    return 2;
  }
  bool ok = Dump(argv[1], toolkit::ProgramIcon, toolkit::ProgramIconSize);
  ok = Dump(argv[2], toolkit::JumperBitmap, toolkit::JumperBitmapSize) && ok;
  return ok ? 0 : 1;
}
