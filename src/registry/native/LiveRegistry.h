#pragma once
// The registry operations on a live registry (Windows only). Until a run
// connects to a named machine, HKEY_CLASSES_ROOT is this computer's (the
// user's classes laid over the machine's, composed by the caller's store,
// so that the backup knows where each key lives). A named machine's classes
// (its HKEY_LOCAL_MACHINE\Software\Classes, through RegConnectRegistry) are
// a store of their own; whoever writes the backup is told, so that it reads
// the keys of the machine they are removed from.

#include <functional>
#include <memory>
#include <string>

#include "registry/handles/HandleTable.h"

namespace comsweep::registry {

class LiveRegistry : public RegistryApi {
 public:
  // Opens the classes of the named machine ("host" or "\\host"); a Win32
  // status, 0 with `classes` set on success.
  using Connect = std::function<LONG(const std::string& machine, std::unique_ptr<Store>& classes)>;
  // Called after each connection with the classes the run now works on: a
  // named machine's, or null for this computer's.
  using Connected = std::function<void(Store* remote)>;

  LiveRegistry(Store& local, Connected connected, Connect connect = connectRemoteClasses);

  LONG RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) override;
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                        BYTE* data, DWORD* cbData) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  CommitResult commit() override { return m_remote ? m_remote->commit() : m_local.commit(); }

  // Connect through RegConnectRegistryW.
  static LONG connectRemoteClasses(const std::string& machine, std::unique_ptr<Store>& classes);

 private:
  // The handles of a named machine's table carry this bit; both tables
  // number theirs 4, 8, 12 ... far below it, and their root is
  // HKEY_CLASSES_ROOT, which does not have it.
  static constexpr HKEY kRemoteBit = 0x40000000u;
  static bool isRemote(HKEY key) { return (key & kRemoteBit) != 0; }
  static HKEY own(HKEY key) { return key & ~kRemoteBit; }
  // The table a handle belongs to; null for a remote handle of a machine no
  // longer connected.
  RegistryApi* tableOf(HKEY key);
  void disconnect();

  HandleTable m_local;
  Connected m_connected;
  Connect m_connect;
  std::unique_ptr<Store> m_remoteClasses;
  std::unique_ptr<HandleTable> m_remote;
};

}  // namespace comsweep::registry
