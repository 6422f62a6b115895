#include "fuzz/HiveDamage.h"

#include <cstring>

#include "registry/regf/RegfHive.h"

namespace comsweep::fuzz {

namespace regf = registry::regf;

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kBase = regf::kBaseBlockSize, kBinHeader = 0x20;
// Enough keys to choose from, few enough to keep a fuzz input fast.
constexpr std::size_t kMaxKeys = 4096;
constexpr int kMaxDepth = 64;

std::string word(std::uint32_t v) {
  std::string out(4, '\0');
  regf::putLe32(reinterpret_cast<unsigned char*>(out.data()), v);
  return out;
}

}  // namespace

HiveDamage::HiveDamage(std::string_view bytes) : m_bytes(bytes) {
  if (m_bytes.size() < kBase + 0x1000 || m_bytes.compare(0, 4, "regf") != 0) return;
  const auto* file = reinterpret_cast<const unsigned char*>(m_bytes.data());
  m_binsSize = regf::le32(file + 0x28);
  if (m_binsSize == 0 || m_binsSize % 0x1000 != 0 || kBase + m_binsSize > m_bytes.size()) return;
  m_bytes.resize(kBase + m_binsSize);
  std::vector<bool> starts(m_binsSize / 4);
  for (std::size_t bin = 0; bin < m_binsSize;) {
    const std::size_t size = regf::le32(file + kBase + bin + 8);
    if (m_bytes.compare(kBase + bin, 4, "hbin") != 0 || size < 0x1000 || size % 0x1000 || size > m_binsSize - bin)
      return;
    for (std::size_t cell = bin + kBinHeader; cell < bin + size;) {
      const auto raw = static_cast<std::int32_t>(regf::le32(file + kBase + cell));
      const std::int64_t length = raw < 0 ? -std::int64_t{raw} : raw;
      if (length < 8 || length % 4 || static_cast<std::size_t>(length) > bin + size - cell) return;
      if (raw < 0) starts[cell / 4] = true;
      cell += static_cast<std::size_t>(length);
    }
    bin += size;
  }
  regf::RegfView view({file + kBase, m_binsSize}, &starts);
  std::vector<bool> seen(starts.size());
  std::string why;
  struct Pending {
    std::uint32_t cell, parent;
    std::string path;
    int depth;
  };
  std::vector<Pending> pending{{regf::le32(file + 0x24), kNone, "", 0}};
  while (!pending.empty()) {
    Pending p = std::move(pending.back());
    pending.pop_back();
    regf::KeyCell key;
    Key out{p.cell, p.parent, p.path, {}};
    std::vector<std::uint32_t> children;
    if (p.depth > kMaxDepth || m_keys.size() >= kMaxKeys || !view.key(p.cell, key, why) || seen[p.cell / 4] ||
        !view.valueCells(key, out.values, why) || !view.subkeys(key, children, why))
      return;
    seen[p.cell / 4] = true;
    for (std::uint32_t c : children) {
      regf::KeyCell child;
      if (!view.key(c, child, why)) return;
      pending.push_back({c, p.cell, (p.path.empty() ? "" : p.path + "\\") +
                                        regf::nameToUtf8(child.name, child.nameIsLatin1), p.depth + 1});
    }
    m_keys.push_back(std::move(out));
  }
  m_ok = true;
}

std::uint32_t HiveDamage::le32(std::uint32_t cell, std::size_t field) const {
  if (cell >= m_binsSize) {
    const std::size_t at = cell - m_binsSize - kBinHeader + 4 + field;
    return at + 4 <= m_appended.size() ? regf::le32(reinterpret_cast<const unsigned char*>(m_appended.data() + at)) : kNone;
  }
  const std::size_t at = kBase + cell + 4 + field;
  return at + 4 <= m_bytes.size() ? regf::le32(reinterpret_cast<const unsigned char*>(m_bytes.data() + at)) : kNone;
}

void HiveDamage::put32(std::uint32_t cell, std::size_t field, std::uint32_t value) {
  std::string& buffer = cell >= m_binsSize ? m_appended : m_bytes;
  const std::size_t at = cell >= m_binsSize ? cell - m_binsSize - kBinHeader + 4 + field : kBase + cell + 4 + field;
  if (at + 4 <= buffer.size()) regf::putLe32(reinterpret_cast<unsigned char*>(buffer.data() + at), value);
}

std::uint32_t HiveDamage::addCell(const std::string& payload) {
  const auto cell = static_cast<std::uint32_t>(m_binsSize + kBinHeader + m_appended.size());
  const std::size_t size = (payload.size() + 4 + 7) / 8 * 8;
  m_appended += word(static_cast<std::uint32_t>(0 - size)) + payload;
  m_appended.resize(m_appended.size() + size - 4 - payload.size(), '\0');
  return cell;
}

bool HiveDamage::firstData(const Key& key, std::uint32_t& value, std::uint32_t& data) const {
  if (key.values.empty()) return false;
  value = key.values[0];
  const std::uint32_t size = le32(value, 4);
  data = (size & 0x80000000u) || size == 0 ? kNone : le32(value, 8);
  return true;
}

std::uint32_t HiveDamage::addDescriptor(std::uint32_t next, std::uint32_t previous) {
  // A descriptor of 0x14 bytes: revision 1, self-relative, no owner,
  // group or lists.
  std::string descriptor("\x01\x00\x04\x80", 4);
  descriptor.resize(0x14, '\0');
  return addCell(std::string("sk\0\0", 4) + word(next) + word(previous) + word(1) +
                 word(static_cast<std::uint32_t>(descriptor.size())) + descriptor);
}

bool HiveDamage::plant(Damage damage, std::size_t from, std::size_t to, bool variant) {
  if (!m_ok || from >= m_keys.size() || to >= m_keys.size() || from == to) return false;
  const Key &f = m_keys[from], &t = m_keys[to];
  std::uint32_t fValue = kNone, fData = kNone, tValue = kNone, tData = kNone;
  const bool fHas = firstData(f, fValue, fData), tHas = firstData(t, tValue, tData);
  switch (damage) {
    case Damage::ClassNameNamesKey:
      put32(f.cell, 0x30, t.cell);
      put32(f.cell, 0x48, (le32(f.cell, 0x48) & 0xFFFFu) | 8u << 16);  // class name length 8
      return true;
    case Damage::SharedValueList:
      if (t.values.empty()) return false;
      put32(f.cell, 0x24, le32(t.cell, 0x24));
      put32(f.cell, 0x28, le32(t.cell, 0x28));
      return true;
    case Damage::SharedValue:
      if (!fHas || !tHas) return false;
      put32(le32(f.cell, 0x28), 0, tValue);  // the list's first entry
      return true;
    case Damage::SharedData:
      if (!fHas || tData == kNone) return false;
      put32(fValue, 4, le32(tValue, 4));
      put32(fValue, 8, tData);
      return true;
    case Damage::BigDataExtraSegment: {
      if (!fHas || !tHas) return false;
      const std::uint32_t size = regf::kBigDataSegment + 1000;
      std::string first(regf::kBigDataSegment, 'B'), second(1000, 'b');
      const std::uint32_t s1 = addCell(first), s2 = addCell(second);
      const std::uint32_t list = addCell(word(s1) + word(s2) + word(variant ? t.cell : tValue));
      const std::uint32_t record = addCell(std::string("db\x03\0", 4) + word(list));
      put32(fValue, 4, size);
      put32(fValue, 8, record);
      return true;
    }
    case Damage::RingIntoData: {
      if (tData >= m_binsSize || (le32(tValue, 4) & 0x7FFFFFFFu) < 4) return false;
      // The data begins with "s" (or "sk"): a descriptor's first byte.
      m_bytes[kBase + tData + 4] = 's';
      if (variant) m_bytes[kBase + tData + 5] = 'k';
      const std::uint32_t second = t.values.size() > 1 && le32(t.values[1], 4) < 0x80000000u ? le32(t.values[1], 8) : tData;
      put32(f.cell, 0x2C, addDescriptor(tData, second));
      return true;
    }
    case Damage::SharedDescriptorCountOne: {
      const std::uint32_t old = le32(t.cell, 0x2C);
      if (old >= m_binsSize || m_bytes.compare(kBase + old + 4, 2, "sk") != 0) return false;
      const std::uint32_t next = le32(old, 4);
      const std::uint32_t added = addDescriptor(next, old);
      put32(old, 4, added);
      put32(next, 8, added);
      put32(f.cell, 0x2C, added);
      if (!variant) put32(t.cell, 0x2C, added);
      return true;
    }
    case Damage::DataIsDescriptor: {
      const std::uint32_t sk = le32(t.cell, 0x2C);
      if (!fHas || sk >= m_binsSize || m_bytes.compare(kBase + sk + 4, 2, "sk") != 0) return false;
      put32(fValue, 4, 16);  // the descriptor's links and count
      put32(fValue, 8, sk);
      return true;
    }
    case Damage::kCount: break;
  }
  return false;
}

int HiveDamage::plantRandom(std::mt19937& random, int count) {
  if (!m_ok || m_keys.size() < 3) return 0;
  std::uniform_int_distribution<std::size_t> pick(1, m_keys.size() - 1);
  std::uniform_int_distribution<int> kind(0, static_cast<int>(Damage::kCount) - 1);
  int planted = 0;
  for (int tries = 0; planted < count && tries < 4 * count; ++tries) {
    const auto damage = static_cast<Damage>(kind(random));
    const std::size_t from = pick(random), to = pick(random);
    planted += plant(damage, from, to, random() % 2 == 0);
  }
  return planted;
}

std::string HiveDamage::bytes() const {
  std::string out = m_bytes;
  if (!m_appended.empty()) {
    const std::size_t size = (kBinHeader + m_appended.size() + 8 + 0xFFF) / 0x1000 * 0x1000;
    std::string bin = "hbin" + word(m_binsSize) + word(static_cast<std::uint32_t>(size));
    bin.resize(kBinHeader, '\0');
    bin += m_appended;
    bin += word(static_cast<std::uint32_t>(size - bin.size()));  // the rest: one free cell
    bin.resize(size, '\0');
    out += bin;
    regf::putLe32(reinterpret_cast<unsigned char*>(out.data() + 0x28), static_cast<std::uint32_t>(m_binsSize + size));
  }
  regf::putLe32(reinterpret_cast<unsigned char*>(out.data() + 0x1FC),
                regf::baseBlockChecksum(reinterpret_cast<const unsigned char*>(out.data())));
  return out;
}

}  // namespace comsweep::fuzz
