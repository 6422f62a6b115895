#include "gen/HiveWriter.h"

#include <algorithm>
#include <cstring>

namespace comsweep::bench {
namespace {

constexpr std::uint64_t kFileTime = (1700000000ull + 11644473600ull) * 10000000ull;

// nk cell fields (offsets after the cell's size field).
constexpr std::size_t kNkFlags = 0x02, kNkTime = 0x04, kNkParent = 0x10, kNkSubkeys = 0x14,
                      kNkSubkeyList = 0x1C, kNkVolatileList = 0x20, kNkValues = 0x24,
                      kNkValueList = 0x28, kNkSecurity = 0x2C, kNkClass = 0x30,
                      kNkMaxSubkeyName = 0x34, kNkMaxValueName = 0x3C, kNkMaxValueData = 0x40,
                      kNkNameLength = 0x48, kNkName = 0x4C;
constexpr std::uint16_t kKeyCompressedName = 0x0020, kKeyHiveEntry = 0x0004, kKeyNoDelete = 0x0008;
// vk cell fields.
constexpr std::size_t kVkNameLength = 0x02, kVkDataLength = 0x04, kVkData = 0x08, kVkType = 0x0C,
                      kVkFlags = 0x10, kVkName = 0x14;
constexpr std::uint32_t kDataInline = 0x80000000;

// Self-relative security descriptor: owner Administrators, group SYSTEM;
// Administrators and SYSTEM full control, Users read, inherited by subkeys.
constexpr std::uint8_t kSecurityDescriptor[] = {
    0x01, 0x00, 0x04, 0x80,  // revision, control: self-relative, DACL present
    0x60, 0x00, 0x00, 0x00,  // owner at 96
    0x70, 0x00, 0x00, 0x00,  // group at 112
    0x00, 0x00, 0x00, 0x00,  // no SACL
    0x14, 0x00, 0x00, 0x00,  // DACL at 20
    0x02, 0x00, 0x4C, 0x00, 0x03, 0x00, 0x00, 0x00,  // ACL: 76 bytes, 3 entries
    0x00, 0x02, 0x18, 0x00, 0x3F, 0x00, 0x0F, 0x00,  // allow, container inherit, KEY_ALL_ACCESS
    0x01, 0x02, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0,  // S-1-5-32-544
    0x00, 0x02, 0x14, 0x00, 0x3F, 0x00, 0x0F, 0x00,
    0x01, 0x01, 0, 0, 0, 0, 0, 5, 0x12, 0, 0, 0,  // S-1-5-18
    0x00, 0x02, 0x18, 0x00, 0x19, 0x00, 0x02, 0x00,  // KEY_READ
    0x01, 0x02, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x21, 0x02, 0, 0,  // S-1-5-32-545
    0x01, 0x02, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0,  // owner
    0x01, 0x01, 0, 0, 0, 0, 0, 5, 0x12, 0, 0, 0,                    // group
};
static_assert(sizeof kSecurityDescriptor == 124);

std::uint32_t lhHash(std::string_view name) {
  std::uint32_t h = 0;
  for (char c : name) h = h * 37 + static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
  return h;
}

}  // namespace

HiveWriter::HiveWriter() {
  m_sk = m_image.allocate(0x14 + sizeof kSecurityDescriptor);
  m_image.putBytes(m_sk, 0, "sk", 2);
  m_image.put32(m_sk, 0x04, m_sk);  // the only security cell: its list links to itself
  m_image.put32(m_sk, 0x08, m_sk);
  m_image.put32(m_sk, 0x10, sizeof kSecurityDescriptor);
  m_image.putBytes(m_sk, 0x14, kSecurityDescriptor, sizeof kSecurityDescriptor);
}

void HiveWriter::openKey(std::string_view name) {
  std::uint32_t parent = 0;
  if (m_depth > 0) {
    finishValues(m_frames[m_depth - 1]);
    parent = m_frames[m_depth - 1].nk;
  }
  std::uint32_t nk = m_image.allocate(kNkName + name.size());
  m_image.putBytes(nk, 0, "nk", 2);
  m_image.put16(nk, kNkFlags, m_depth == 0 ? kKeyCompressedName | kKeyHiveEntry | kKeyNoDelete : kKeyCompressedName);
  m_image.put64(nk, kNkTime, kFileTime);
  m_image.put32(nk, kNkParent, parent);
  m_image.put32(nk, kNkSubkeyList, HiveImage::kNoCell);
  m_image.put32(nk, kNkVolatileList, HiveImage::kNoCell);
  m_image.put32(nk, kNkValueList, HiveImage::kNoCell);
  m_image.put32(nk, kNkSecurity, m_sk);
  m_image.put32(nk, kNkClass, HiveImage::kNoCell);
  m_image.put16(nk, kNkNameLength, static_cast<std::uint16_t>(name.size()));
  m_image.putBytes(nk, kNkName, name.data(), name.size());
  if (m_depth == 0) m_root = nk;
  ++m_keys;

  if (m_frames.size() == m_depth) m_frames.emplace_back();
  Frame& frame = m_frames[m_depth++];
  frame.nk = nk;
  frame.hash = lhHash(name);
  frame.nameBytes = static_cast<std::uint32_t>(2 * name.size());
  frame.valuesDone = false;
  frame.children.clear();
  frame.values.clear();
  frame.maxChildName = frame.maxValueName = frame.maxValueData = 0;
}

void HiveWriter::addValue(const Value& value) {
  Frame& frame = m_frames[m_depth - 1];
  m_data.clear();
  if (value.type == ValueType::Dword) {
    for (int i = 0; i < 4; ++i) m_data += static_cast<char>(value.dword >> (8 * i));
  } else if (value.type == ValueType::Binary) {
    m_data = value.text;
  } else {
    for (char c : value.text) {
      m_data += c;
      m_data += '\0';
    }
    m_data.append(2, '\0');
  }
  std::uint32_t vk = m_image.allocate(kVkName + value.name.size());
  m_image.putBytes(vk, 0, "vk", 2);
  m_image.put16(vk, kVkNameLength, static_cast<std::uint16_t>(value.name.size()));
  auto size = static_cast<std::uint32_t>(m_data.size());
  if (size <= 4) {
    m_image.put32(vk, kVkDataLength, size | kDataInline);
    m_image.putBytes(vk, kVkData, m_data.data(), size);
  } else {
    std::uint32_t cell = m_image.allocate(size);
    m_image.putBytes(cell, 0, m_data.data(), size);
    m_image.put32(vk, kVkDataLength, size);
    m_image.put32(vk, kVkData, cell);
  }
  m_image.put32(vk, kVkType, static_cast<std::uint32_t>(value.type));
  m_image.put16(vk, kVkFlags, value.name.empty() ? 0 : 1);  // 1: the name is ASCII
  m_image.putBytes(vk, kVkName, value.name.data(), value.name.size());
  frame.values.push_back(vk);
  frame.maxValueName = std::max<std::uint32_t>(frame.maxValueName, static_cast<std::uint32_t>(2 * value.name.size()));
  frame.maxValueData = std::max(frame.maxValueData, size);
}

void HiveWriter::finishValues(Frame& frame) {
  if (frame.valuesDone) return;
  frame.valuesDone = true;
  if (frame.values.empty()) return;
  std::uint32_t list = m_image.allocate(4 * frame.values.size());
  for (std::size_t i = 0; i < frame.values.size(); ++i) m_image.put32(list, 4 * i, frame.values[i]);
  m_image.put32(frame.nk, kNkValues, static_cast<std::uint32_t>(frame.values.size()));
  m_image.put32(frame.nk, kNkValueList, list);
  m_image.put32(frame.nk, kNkMaxValueName, frame.maxValueName);
  m_image.put32(frame.nk, kNkMaxValueData, frame.maxValueData);
}

std::uint32_t HiveWriter::writeLeaf(const std::pair<std::uint32_t, std::uint32_t>* entries, std::size_t count) {
  std::uint32_t lh = m_image.allocate(4 + 8 * count);
  m_image.putBytes(lh, 0, "lh", 2);
  m_image.put16(lh, 2, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    m_image.put32(lh, 4 + 8 * i, entries[i].first);
    m_image.put32(lh, 8 + 8 * i, entries[i].second);
  }
  return lh;
}

void HiveWriter::closeKey() {
  Frame& frame = m_frames[m_depth - 1];
  finishValues(frame);
  const auto& children = frame.children;
  if (!children.empty()) {
    std::uint32_t list;
    if (children.size() <= kMaxLeaf) {
      list = writeLeaf(children.data(), children.size());
    } else {
      std::size_t leaves = (children.size() + kLeafSize - 1) / kLeafSize;
      std::vector<std::uint32_t> leafCells;
      for (std::size_t at = 0; at < children.size(); at += kLeafSize)
        leafCells.push_back(writeLeaf(children.data() + at, std::min(kLeafSize, children.size() - at)));
      list = m_image.allocate(4 + 4 * leaves);
      m_image.putBytes(list, 0, "ri", 2);
      m_image.put16(list, 2, static_cast<std::uint16_t>(leaves));
      for (std::size_t i = 0; i < leaves; ++i) m_image.put32(list, 4 + 4 * i, leafCells[i]);
    }
    m_image.put32(frame.nk, kNkSubkeys, static_cast<std::uint32_t>(children.size()));
    m_image.put32(frame.nk, kNkSubkeyList, list);
    m_image.put32(frame.nk, kNkMaxSubkeyName, frame.maxChildName);
  }
  --m_depth;
  if (m_depth > 0) {
    Frame& parent = m_frames[m_depth - 1];
    parent.children.emplace_back(frame.nk, frame.hash);
    parent.maxChildName = std::max(parent.maxChildName, frame.nameBytes);
  }
}

bool HiveWriter::finish(OutputFile& out) {
  if (m_depth != 0 || m_root == HiveImage::kNoCell) return false;
  m_image.put32(m_sk, 0x0C, static_cast<std::uint32_t>(m_keys));  // every key refers to it
  return m_image.writeTo(out, m_root, kFileTime);
}

}  // namespace comsweep::bench
