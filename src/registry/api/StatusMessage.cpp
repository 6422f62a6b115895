#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

std::string statusMessage(LONG status) {
  switch (status) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_BAD_NETPATH: return "The network path was not found.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_BAD_PATHNAME: return "The specified path is invalid.";
    case ERROR_MORE_DATA: return "More data is available.";
    case ERROR_NO_MORE_ITEMS: return "No more data is available.";
    case ERROR_REGISTRY_IO_FAILED:
      return "An I/O operation initiated by the registry failed unrecoverably. The registry "
             "could not read in, or write out, or flush, one of the files that contain the "
             "system's image of the registry.";
    case ERROR_KEY_DELETED:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default: return "Unknown error " + std::to_string(status) + ".";
  }
}

}  // namespace comsweep::registry
