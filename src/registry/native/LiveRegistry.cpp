#include "registry/native/LiveRegistry.h"

#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"

namespace comsweep::registry {

LiveRegistry::LiveRegistry(Store& local, Connected connected, Connect connect)
    : m_local(local), m_connected(std::move(connected)), m_connect(std::move(connect)) {}

LONG LiveRegistry::connectRemoteClasses(const std::string& machine,
                                        std::unique_ptr<Store>& classes) {
  std::string name = machine.rfind("\\\\", 0) == 0 ? machine : "\\\\" + machine;
  ::HKEY remote = nullptr;
  LONG status = ::RegConnectRegistryW(native::wide(name).c_str(), comsweep_native::kLocalMachine,
                                      &remote);
  if (status != native::kSuccess) return status;
  auto store = std::make_unique<NativeStore>(remote, "Software\\Classes", 4096, true);
  if (!store->rootOpens()) return native::kAccessDenied;
  classes = std::move(store);
  return native::kSuccess;
}

void LiveRegistry::disconnect() {
  if (!m_remote) return;
  m_remote.reset();
  m_remoteClasses.reset();
}

RegistryApi* LiveRegistry::tableOf(HKEY key) {
  if (!isRemote(key)) return &m_local;
  return m_remote.get();
}

LONG LiveRegistry::RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  if (key != HKEY_CLASSES_ROOT) return ERROR_INVALID_HANDLE;
  if (!machineName || !*machineName) {
    disconnect();
    if (m_connected) m_connected(nullptr);
    return m_local.RegConnectRegistryA(machineName, key, result);
  }
  std::unique_ptr<Store> classes;
  LONG status = m_connect(machineName, classes);
  if (status != ERROR_SUCCESS) return status;
  disconnect();
  m_remoteClasses = std::move(classes);
  m_remote = std::make_unique<HandleTable>(*m_remoteClasses);
  if (m_connected) m_connected(m_remoteClasses.get());
  *result = HKEY_CLASSES_ROOT | kRemoteBit;
  return ERROR_SUCCESS;
}

LONG LiveRegistry::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  RegistryApi* table = tableOf(key);
  if (!table) return ERROR_INVALID_HANDLE;
  LONG status = table->RegOpenKeyA(own(key), subKey, result);
  if (status == ERROR_SUCCESS && result && isRemote(key)) *result |= kRemoteBit;
  return status;
}

LONG LiveRegistry::RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) {
  RegistryApi* table = tableOf(key);
  return table ? table->RegEnumKeyA(own(key), index, name, cchName) : ERROR_INVALID_HANDLE;
}

LONG LiveRegistry::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* cbData) {
  RegistryApi* table = tableOf(key);
  return table ? table->RegQueryValueExA(own(key), valueName, reserved, type, data, cbData)
               : ERROR_INVALID_HANDLE;
}

LONG LiveRegistry::RegCloseKey(HKEY key) {
  RegistryApi* table = tableOf(key);
  return table ? table->RegCloseKey(own(key)) : ERROR_INVALID_HANDLE;
}

LONG LiveRegistry::RegDeleteKeyA(HKEY key, const char* subKey) {
  RegistryApi* table = tableOf(key);
  return table ? table->RegDeleteKeyA(own(key), subKey) : ERROR_INVALID_HANDLE;
}

}  // namespace comsweep::registry
