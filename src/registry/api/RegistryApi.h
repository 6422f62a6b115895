#pragma once
// The six registry operations the engine calls, in the shapes and with the
// status codes of the Win32 8-bit ("A") functions. On Linux the HandleTable
// answers them over a Store; a Windows build passes them to advapi32.

#include <cstdint>
#include <string>
#include <vector>

#include "util/Failure.h"

namespace comsweep::registry {

using HKEY = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;

// Status codes, as the platform reports them.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_BAD_NETPATH = 53;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_CALL_NOT_IMPLEMENTED = 120;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// The types whose data is text (UTF-16 where the registry keeps it).
inline bool isStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The platform's text for a status code, as its message table words it.
std::string statusMessage(LONG status);

// Outcome of writing the changed registry back to where it lives.
struct CommitResult {
  // A save that failed before it replaced anything, and why.
  static CommitResult failed(std::string why) {
    CommitResult result;
    result.failure = {"the save", std::move(why)};
    return result;
  }

  util::Failure failure;  // empty on success
  // A failure after part of the machine was written (one of its files
  // replaced, another not): some removed keys are gone, so their backup
  // stays. A removed key is gone when none of the files that held it is
  // among `notReplaced`.
  bool partial = false;
  std::vector<std::string> notReplaced{};  // as filesHolding() names them
};

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  virtual LONG RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) = 0;
  virtual LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
  // cchName counts bytes of the 8-bit text, its NUL included, as the 8-bit
  // call counts characters of its code page; a UTF-8 name takes up to three
  // bytes per UTF-16 unit.
  virtual LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) = 0;
  virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                BYTE* data, DWORD* cbData) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;

  // Makes the removals of this run permanent. The Windows registry does so
  // with every call; file-backed machines write their file here, once.
  virtual CommitResult commit() { return {}; }
  // The files that hold the key at `subKey` below `key` (each copy of it),
  // asked before it is removed, so that a commit that stopped half-way can
  // tell which removals it made permanent. None where the machine is not
  // kept in files, or the key is not there.
  virtual std::vector<std::string> filesHolding(HKEY key, const char* subKey) {
    (void)key;
    (void)subKey;
    return {};
  }
};

}  // namespace comsweep::registry
