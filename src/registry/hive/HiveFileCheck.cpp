#include "registry/hive/HiveFileCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace comsweep::registry {
namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
// A base block and one hbin: the least libhivex accepts.
constexpr std::uint64_t kMinimumSize = 0x2000;

std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads the base block; false with errno set when it cannot be read whole.
bool readBaseBlock(int fd, unsigned char* block) {
  long long n = platform::readAt(fd, reinterpret_cast<char*>(block), kBaseBlockSize, 0);
  if (n < 0) return false;
  if (static_cast<std::size_t>(n) != kBaseBlockSize) {
    errno = EIO;
    return false;
  }
  return true;
}

}  // namespace

HiveFileCheck checkHiveFile(const std::filesystem::path& file) {
  HiveFileCheck result;
  struct stat st {};
  platform::FileDescriptor fd = platform::openRegularFile(file, st, result.problem);
  if (!fd.valid()) return result;
  unsigned char block[kBaseBlockSize];
  result.identity = platform::FileIdentity::of(st);
  result.size = static_cast<std::uint64_t>(st.st_size);
  bool haveBlock = result.size >= kMinimumSize && readBaseBlock(fd.get(), block);
  int readErrno = errno;
  fd.reset();

  if (result.size < kMinimumSize) {
    result.problem = "too short to be a registry hive (" + std::to_string(result.size) +
                     " bytes): the file is truncated or not a hive";
  } else if (!haveBlock) {
    result.problem = std::string("cannot be read: ") + std::strerror(readErrno);
  } else if (std::memcmp(block, "regf", 4) != 0) {
    result.problem = "not a registry hive (no regf signature)";
  } else {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= le32(block + i);
    std::uint32_t major = le32(block + 0x14), minor = le32(block + 0x18);
    std::uint64_t binsSize = le32(block + 0x28);
    if (sum != le32(block + 0x1FC)) {
      result.problem = "the hive header is damaged (checksum mismatch)";
    } else if (major != 1) {
      result.problem = "unsupported hive format version " + std::to_string(major) + "." +
                       std::to_string(minor);
    } else if (le32(block + 0x1C) != 0) {
      result.problem = "a transaction log or alternate file, not the hive itself";
    } else if (le32(block + 0x04) != le32(block + 0x08)) {
      result.problem =
          "the hive was not closed cleanly and its transaction logs (.LOG1/.LOG2) were never "
          "applied; start that Windows once so that it applies them (or apply them with a "
          "registry repair tool), then try again";
    } else if (binsSize == 0 || binsSize % 0x1000 != 0) {
      result.problem = "the hive header is damaged (data size " + std::to_string(binsSize) + ")";
    } else if (kBaseBlockSize + binsSize > result.size) {
      result.problem = "the file is truncated: its header announces " +
                       std::to_string(kBaseBlockSize + binsSize) + " bytes, the file holds " +
                       std::to_string(result.size);
    }
  }
  return result;
}

}  // namespace comsweep::registry
