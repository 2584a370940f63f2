// The compiler's runtime (libgcc's locks, the C runtime's locale and random
// helpers) calls four functions that Windows 98 SE does not export or only
// has from Windows 2000 on. Defining their import slots here makes the linker
// take these ANSI-based stand-ins instead of importing the system's own, so the
// program loads on every Win32 system. All callers pass ASCII module names or
// none, which converts without loss.
//
// Linked into the program as an object, not from an archive: the slots must
// be defined before the runtime's archives are searched.
#include <windows.h>

#include <string>

namespace {

std::string Narrow(LPCWSTR wide) {
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0)
    return {};
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(n - 1));
  return narrow;
}

HANDLE WINAPI AnsiCreateSemaphore(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                  LPCWSTR name) {
  if (name == nullptr)
    return CreateSemaphoreA(security, initial, maximum, nullptr);
  return CreateSemaphoreA(security, initial, maximum, Narrow(name).c_str());
}

HMODULE WINAPI AnsiGetModuleHandle(LPCWSTR name) {
  if (name == nullptr)
    return GetModuleHandleA(nullptr);
  return GetModuleHandleA(Narrow(name).c_str());
}

HMODULE WINAPI AnsiLoadLibrary(LPCWSTR name) {
  if (name == nullptr)
    return nullptr;
  return LoadLibraryA(Narrow(name).c_str());
}

// Lead-byte ranges of any code page, from GetCPInfo (every Win32 system).
BOOL WINAPI LeadByteOfCodePage(UINT codePage, BYTE byte) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info))
    return FALSE;
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
    if (byte >= info.LeadByte[i] && byte <= info.LeadByte[i + 1])
      return TRUE;
  return FALSE;
}

} // namespace

// The import slots, under the names the runtime's objects refer to.
extern "C" {
extern const void *const CreateSemaphoreWSlot __asm__("__imp__CreateSemaphoreW@16");
extern const void *const GetModuleHandleWSlot __asm__("__imp__GetModuleHandleW@4");
extern const void *const LoadLibraryWSlot __asm__("__imp__LoadLibraryW@4");
extern const void *const IsDBCSLeadByteExSlot __asm__("__imp__IsDBCSLeadByteEx@8");

const void *const CreateSemaphoreWSlot = reinterpret_cast<const void *>(&AnsiCreateSemaphore);
const void *const GetModuleHandleWSlot = reinterpret_cast<const void *>(&AnsiGetModuleHandle);
const void *const LoadLibraryWSlot = reinterpret_cast<const void *>(&AnsiLoadLibrary);
const void *const IsDBCSLeadByteExSlot = reinterpret_cast<const void *>(&LeadByteOfCodePage);
}
