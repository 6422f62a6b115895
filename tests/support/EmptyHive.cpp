#include "support/EmptyHive.h"

#include "support/TempDir.h"

namespace comsweep::test {
namespace {

void put(std::string& b, std::size_t at, std::uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

void setHeaderField(std::string& hive, std::size_t offset, std::uint32_t value) {
  put(hive, offset, value);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 0x1FC; ++i)
    sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(hive[i])) << (8 * (i % 4));
  put(hive, 0x1FC, sum);
}

std::string emptyHive() {
  constexpr std::uint32_t kNone = 0xFFFFFFFFu, kRoot = 0x20, kSk = 0x78, kFree = 0xC0;
  std::string b(0x2000, '\0');
  b.replace(0, 4, "regf");
  // Sequence numbers, equal: the hive is clean; format version 1.5; the root
  // key; one hbin.
  for (auto [at, v] : {std::pair{0x04u, 1u}, {0x08u, 1u}, {0x14u, 1u}, {0x18u, 5u}, {0x20u, 1u},
                       {0x24u, kRoot}, {0x28u, 0x1000u}})
    put(b, at, v);
  setHeaderField(b, 0x2C, 1);  // clustering factor, and the checksum

  const std::size_t h = 0x1000;
  b.replace(h, 4, "hbin");
  put(b, h + 8, 0x1000);
  // The root nk cell, 0x58 bytes, named "ROOT".
  std::size_t nk = h + kRoot;
  put(b, nk, static_cast<std::uint32_t>(-0x58));
  b.replace(nk + 4, 2, "nk");
  put(b, nk + 6, 0x2C, 2);  // hive entry, not deletable, 8-bit name
  // No parent, subkey lists, value list or class name; the sk cell.
  for (std::size_t field : {0x14u, 0x20u, 0x24u, 0x2Cu, 0x34u}) put(b, nk + field, kNone);
  put(b, nk + 0x30, kSk);
  put(b, nk + 0x4C, 4, 2);
  b.replace(nk + 0x50, 4, "ROOT");
  // The sk cell, a ring of one used by one key: owner and group SYSTEM, a
  // present but null DACL (full access).
  std::size_t sk = h + kSk;
  put(b, sk, static_cast<std::uint32_t>(-0x48));
  b.replace(sk + 4, 2, "sk");
  for (auto [at, v] : {std::pair{8u, kSk}, {12u, kSk}, {16u, 1u}, {20u, 44u}}) put(b, sk + at, v);
  std::string sid("\x01\x01\0\0\0\0\0\x05\x12\0\0\0", 12);
  std::string sd("\x01\0\x04\x80\x14\0\0\0\x20\0\0\0\0\0\0\0\0\0\0\0", 20);
  b.replace(sk + 24, 44, sd + sid + sid);
  put(b, h + kFree, 0x1000 - kFree);  // the rest of the hbin is one free cell
  return b;
}

void writeEmptyHive(const std::filesystem::path& path) { writeFile(path, emptyHive()); }

}  // namespace comsweep::test
