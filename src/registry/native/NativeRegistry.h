#pragma once
// The six registry operations passed to advapi32 (Windows only): the "W"
// calls, with the engine's UTF-8 converted at this boundary, so that names
// outside the ANSI code page survive. Native handles do not fit the 32-bit
// HKEY of RegistryApi.h, so open keys live in a slot table and the engine
// sees slot numbers. Keys are opened with KEY_WOW64_64KEY: a 64-bit view on
// every machine, the 32-bit registrations under Wow6432Node.
//
// HKEY_CLASSES_ROOT stands for HKEY_LOCAL_MACHINE\Software\Classes, opened
// by name rather than through the platform's merged root, so that every key
// the engine names lives at one known place, which the backup writes out
// (see openNativeClassesRoot() for where per-user classes come in).

#include <cstddef>
#include <vector>

#include "registry/RegistryApi.h"

namespace comsweep::registry {

class NativeRegistry : public RegistryApi {
 public:
  NativeRegistry() = default;
  ~NativeRegistry() override;
  NativeRegistry(const NativeRegistry&) = delete;
  NativeRegistry& operator=(const NativeRegistry&) = delete;

  LONG RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) override;
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                        BYTE* data, DWORD* cbData) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;

  std::size_t openHandles() const { return m_open; }

 private:
  using NativeKey = void*;  // an advapi32 HKEY
  // The native key behind a handle, or null with the status to return.
  NativeKey resolve(HKEY key, LONG& status);
  HKEY addSlot(NativeKey key);

  NativeKey m_classesRoot = nullptr;  // opened on first use
  std::vector<NativeKey> m_slots;     // handle = (slot + 1) * 4; null when free
  std::vector<std::size_t> m_free;
  std::size_t m_open = 0;
};

// Opens HKEY_CLASSES_ROOT as the engine sees it on `machine` (an advapi32
// predefined key such as HKEY_LOCAL_MACHINE, or one RegConnectRegistryW
// returned); the native key in `out`, a Win32 status.
LONG openNativeClassesRoot(void* machine, void*& out);

}  // namespace comsweep::registry
