#include "registry/hive/HiveString.h"

#include "registry/store/Text.h"

namespace comsweep::registry {

bool looksLike8BitString(std::string_view data) {
  if (data.size() % 2 != 0) return true;
  std::size_t nul = data.find('\0');
  return nul == std::string_view::npos || nul + 1 == data.size();
}

std::string hiveStringToUtf16le(std::string_view data) {
  return looksLike8BitString(data) ? utf8ToUtf16le(data) : std::string(data);
}

}  // namespace comsweep::registry
