#include "registry/regf/RegfHive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace comsweep::registry::regf {
namespace {

// A base block and one hbin: the least a hive can be.
constexpr std::uint64_t kMinimumSize = 0x2000;
constexpr std::size_t kBinHeaderSize = 0x20;

std::string hex(std::size_t v) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%zx", v);
  return buffer;
}

// Why the base block `block` of a file of `size` bytes must not be read, or
// an empty string.
std::string checkBaseBlock(const unsigned char* block, std::uint64_t size) {
  if (std::memcmp(block, "regf", 4) != 0) return "not a registry hive (no regf signature)";
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= le32(block + i);
  const std::uint32_t stored = le32(block + 0x1FC);
  const std::uint32_t major = le32(block + 0x14), minor = le32(block + 0x18);
  const std::uint64_t binsSize = le32(block + 0x28);
  if (stored != sum && stored != baseBlockChecksum(block))
    return "the hive header is damaged (checksum mismatch)";
  if (major != 1)
    return "unsupported hive format version " + std::to_string(major) + "." + std::to_string(minor);
  if (le32(block + 0x1C) != 0) return "a transaction log or alternate file, not the hive itself";
  if (le32(block + 0x04) != le32(block + 0x08))
    return "the hive was not closed cleanly and its transaction logs (.LOG1/.LOG2) were never "
           "applied; start that Windows once so that it applies them (or apply them with a "
           "registry repair tool), then try again";
  if (binsSize == 0 || binsSize % 0x1000 != 0)
    return "the hive header is damaged (data size " + std::to_string(binsSize) + ")";
  if (kBaseBlockSize + binsSize > size)
    return "the file is truncated: its header announces " + std::to_string(kBaseBlockSize + binsSize) +
           " bytes, the file holds " + std::to_string(size);
  return {};
}

}  // namespace

std::uint32_t baseBlockChecksum(const unsigned char* block) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= le32(block + i);
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return sum;
}

std::unique_ptr<RegfHive> RegfHive::map(const std::filesystem::path& file, bool privateCopy,
                                        std::string& error) {
  platform::FileStatus st {};
  std::unique_ptr<RegfHive> hive(new RegfHive());
  hive->m_fd = platform::openRegularFile(file, st, error);
  if (!hive->m_fd.valid()) return nullptr;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size < kMinimumSize) {
    error = "too short to be a registry hive (" + std::to_string(size) +
            " bytes): the file is truncated or not a hive";
    return nullptr;
  }
  if (!platform::FileIdentity::ofDescriptor(hive->m_fd.get(), hive->m_identity) ||
      !platform::MappedFile::map(hive->m_fd.get(), size, privateCopy, hive->m_map)) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return nullptr;
  }
  // A read past the end of a file that shrinks under the run ends it, naming the file.
  hive->m_named.name(hive->m_map.data(), hive->m_map.size(), file);
  const unsigned char* block = hive->m_map.data();
  if (error = checkBaseBlock(block, size); !error.empty()) return nullptr;
  hive->m_binsSize = le32(block + 0x28);
  return hive;
}

bool RegfHive::finishOpen(std::string& error) {
  m_view = viewOf(bytes());
  m_rootCell = le32(m_map.data() + 0x24);
  KeyCell root;
  if (std::string why; !m_view.key(m_rootCell, root, why)) {
    error = "the hive is damaged (no root key)";
    return false;
  }
  return true;
}

std::unique_ptr<RegfHive> RegfHive::open(const std::filesystem::path& file, std::string& error) {
  std::unique_ptr<RegfHive> hive = map(file, false, error);
  if (!hive) return nullptr;
  auto cellStarts = std::make_shared<std::vector<bool>>();
  if (error = hive->walkBins(*cellStarts); !error.empty()) {
    error = "the hive is damaged (" + error + ")";
    return nullptr;
  }
  hive->m_cellStarts = std::move(cellStarts);
  if (!hive->finishOpen(error)) return nullptr;
  return hive;
}

std::unique_ptr<RegfHive> RegfHive::reopen(const std::filesystem::path& file, bool privateCopy,
                                           std::string& error) const {
  std::unique_ptr<RegfHive> hive = map(file, privateCopy, error);
  if (!hive) return nullptr;
  if (hive->m_binsSize != m_binsSize) {
    error = "changed while it was being read";
    return nullptr;
  }
  hive->m_cellStarts = m_cellStarts;
  hive->m_keyCells = m_keyCells;
  if (!hive->finishOpen(error)) return nullptr;
  return hive;
}

void RegfHive::release() {
  m_view = RegfView();
  m_named.forget();
  m_map.unmap();
  m_fd.reset();
}

std::string RegfHive::walkBins(std::vector<bool>& cellStarts) {
  const unsigned char* bins = m_map.data() + kBaseBlockSize;
  cellStarts.assign(m_binsSize / 4, false);
  for (std::size_t at = 0; at < m_binsSize;) {
    const unsigned char* bin = bins + at;
    const std::size_t binSize = le32(bin + 8);
    if (std::memcmp(bin, "hbin", 4) != 0) return "no hbin at " + hex(at);
    if (le32(bin + 4) != at) return "the hbin at " + hex(at) + " names another offset";
    if (binSize < 0x1000 || binSize % 0x1000 != 0 || binSize > m_binsSize - at)
      return "the hbin at " + hex(at) + " has a size of " + hex(binSize);
    for (std::size_t cell = at + kBinHeaderSize; cell < at + binSize;) {
      auto raw = static_cast<std::int32_t>(le32(bins + cell));
      const std::int64_t size = raw < 0 ? -std::int64_t{raw} : raw;
      if (size < 8 || size % 4 != 0 || static_cast<std::size_t>(size) > at + binSize - cell)
        return "the cell at " + hex(cell) + " has a size of " + std::to_string(raw);
      if (raw < 0) {
        cellStarts[cell / 4] = true;
        // Counted only where a key fits, so the count stays below the
        // file's size over 80 whatever the file holds.
        if (size >= 0x50 && bins[cell + 4] == 'n' && bins[cell + 5] == 'k') ++m_keyCells;
      }
      cell += static_cast<std::size_t>(size);
    }
    at += binSize;
  }
  return {};
}

}  // namespace comsweep::registry::regf
