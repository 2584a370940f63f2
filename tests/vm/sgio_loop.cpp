// The bench's baseline: the command blocks the program sends for a standard
// download (INQUIRY, two TEST UNIT READY, WRITE BUFFER mode 4 per block and
// mode 5 for the last), as a bare SG_IO loop with nothing around it.
// Usage: sgio_loop /dev/sgN IMAGE; exit 0 when every command ended GOOD.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Send(int fd, const std::uint8_t *cdb, std::uint8_t cdbLen, int direction, void *data,
          unsigned length) {
  std::uint8_t sense[32] = {};
  sg_io_hdr io{};
  io.interface_id = 'S';
  io.cmdp = const_cast<std::uint8_t *>(cdb);
  io.cmd_len = cdbLen;
  io.dxfer_direction = length ? direction : SG_DXFER_NONE;
  io.dxferp = data;
  io.dxfer_len = length;
  io.sbp = sense;
  io.mx_sb_len = sizeof sense;
  io.timeout = 30000;
  if (ioctl(fd, SG_IO, &io) != 0 || io.status || io.host_status || io.driver_status) {
    std::fprintf(stderr, "sgio_loop: %02X failed: status %02X sense %X/%02X/%02X\n", cdb[0],
                 io.status, sense[2] & 0x0F, sense[12], sense[13]);
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3)
    return 2;
  const int fd = open(argv[1], O_RDWR), image = open(argv[2], O_RDONLY);
  struct stat st {};
  if (fd < 0 || image < 0 || fstat(image, &st) != 0)
    return 1;
  std::uint8_t inquiry[62] = {}, block[32768];
  const std::uint8_t inq[6] = {0x12, 0, 0, 0, sizeof inquiry, 0}, tur[6] = {};
  bool good = Send(fd, inq, 6, SG_DXFER_FROM_DEV, inquiry, sizeof inquiry) &&
              Send(fd, tur, 6, SG_DXFER_NONE, nullptr, 0) &&
              Send(fd, tur, 6, SG_DXFER_NONE, nullptr, 0);
  for (off_t offset = 0; good && offset < st.st_size;) {
    const ssize_t n = pread(image, block, sizeof block, offset);
    if (n <= 0)
      return 1;
    const bool last = offset + n >= st.st_size;
    const std::uint8_t wb[10] = {0x3B,
                                 static_cast<std::uint8_t>(last ? 5 : 4),
                                 0,
                                 static_cast<std::uint8_t>(offset >> 16),
                                 static_cast<std::uint8_t>(offset >> 8),
                                 static_cast<std::uint8_t>(offset),
                                 static_cast<std::uint8_t>(n >> 16),
                                 static_cast<std::uint8_t>(n >> 8),
                                 static_cast<std::uint8_t>(n),
                                 0};
    good = Send(fd, wb, 10, SG_DXFER_TO_DEV, block, static_cast<unsigned>(n));
    offset += n;
  }
  return good ? 0 : 1;
}
