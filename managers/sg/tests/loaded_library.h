// The built sg manager loaded as the program loads it, by full path, with
// its two ASPI entry points and its own device node entry. The library stays
// loaded until the test process ends.
#pragma once

#include <cstdint>
#include <dlfcn.h>
#include <string>

using SupportInfoFn = std::uint32_t (*)();
using SendFn = std::uint32_t (*)(void *);
using DeviceNodeFn = std::uint32_t (*)(std::uint8_t, std::uint8_t, char *, std::uint32_t);

struct LoadedLibrary {
  SupportInfoFn info = nullptr;
  SendFn send = nullptr;
  DeviceNodeFn node = nullptr;
  std::string error; // empty when the library and every entry point were found
};

inline LoadedLibrary LoadSgLibrary() {
  LoadedLibrary loaded;
  void *lib = dlopen(SG_ASPI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    loaded.error = dlerror();
    return loaded;
  }
  loaded.info = reinterpret_cast<SupportInfoFn>(dlsym(lib, "GetASPI32SupportInfo"));
  loaded.send = reinterpret_cast<SendFn>(dlsym(lib, "SendASPI32Command"));
  loaded.node = reinterpret_cast<DeviceNodeFn>(dlsym(lib, "GetASPI32DeviceNode"));
  if (loaded.info == nullptr || loaded.send == nullptr || loaded.node == nullptr)
    loaded.error = "an entry point is missing";
  return loaded;
}
