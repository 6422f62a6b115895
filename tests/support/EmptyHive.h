#pragma once
// libhivex cannot create a hive: fixtures start from this minimal valid one
// (a base block with its checksum, one hbin holding the root key and the
// security cell that hivex_node_add_child copies to new keys).

#include <cstdint>
#include <filesystem>
#include <string>

namespace comsweep::test {

std::string emptyHive();
void writeEmptyHive(const std::filesystem::path& path);
// Sets a 32-bit base block field and recomputes the header checksum.
void setHeaderField(std::string& hive, std::size_t offset, std::uint32_t value);

}  // namespace comsweep::test
