// Smoke run of the pass-through layer's first step: bind the ASPI manager
// (looked for beside this program, then by the loader's search), take the
// census and print it. Exit code 0 when bound, 1 when the binding failed.
// With the argument --twice the binding is asked for a second time, which
// must neither load anything nor send a request.
#include "aspdebug/aspdebug.h"
#include "wnaspi95/wnaspi95.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintCensus() {
  std::printf("AdapterCount %u\n", static_cast<unsigned>(AdapterCount));
  for (unsigned a = 0; a < AdapterCount; ++a) {
    std::printf("Adapter %u atapi=%d types", a, AtapiAdapter[a] ? 1 : 0);
    for (unsigned t = 0; t < 16; ++t)
      std::printf(" %d", static_cast<int>(LookupDeviceType(static_cast<std::uint8_t>(a),
                                                           static_cast<std::uint8_t>(t))));
    std::printf("\n");
  }
}

} // namespace

int main(int argc, char **argv) {
  const bool twice = argc > 1 && std::strcmp(argv[1], "--twice") == 0;
  InitPassThrough();
  InitTrace();
  std::fflush(stdout);
  bool bound = InitAspi(false);
  if (bound && twice)
    bound = InitAspi(false);
  if (bound)
    PrintCensus();
  else
    std::printf("not bound\n");
  std::fflush(stdout);
  DoneTrace();
  DonePassThrough();
  return bound ? 0 : 1;
}
