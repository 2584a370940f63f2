#include "device_io.h"

#include <windows.h>

namespace sptiaspi {
namespace {

class Win32DeviceIo final : public DeviceIo {
public:
  bool HasPassThrough() override {
    // The top bit of GetVersion is set on the 95/98/ME family.
    return (GetVersion() & 0x80000000u) == 0;
  }

  std::uint32_t LogicalDrives() override { return GetLogicalDrives(); }

  bool IsCdRom(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_CDROM;
  }

  DeviceHandle Open(char letter, std::uint32_t &error) override {
    const char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      return 0;
    }
    error = 0;
    return reinterpret_cast<DeviceHandle>(h);
  }

  void Close(DeviceHandle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

  std::uint32_t Control(DeviceHandle handle, std::uint32_t code, void *in, std::uint32_t inSize,
                        void *out, std::uint32_t outSize, std::uint32_t &returned) override {
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in, inSize, out,
                                    outSize, &got, nullptr);
    returned = got;
    return ok ? 0 : GetLastError();
  }

  void TellUser(const char *caption, const char *text) override {
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
  }
};

} // namespace

std::unique_ptr<DeviceIo> MakeWin32DeviceIo() {
  return std::make_unique<Win32DeviceIo>();
}

} // namespace sptiaspi
