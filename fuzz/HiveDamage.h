#pragma once
// Plants the damage a hive can carry and the hive tools still read cleanly
// into a sound hive: cells that two keys name, security descriptors whose
// ring runs into other cells or whose count is too low, big data records
// that announce more segments than their data needs. The fuzz target
// applies it as a mutation, the tests and the damage campaign to hives they
// build. New cells go into one hbin appended to the hive; everything else
// is changed in place. The base block's checksum is kept right.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace comsweep::fuzz {

enum class Damage {
  ClassNameNamesKey,     // `from`'s class name is `to`'s key cell
  SharedValueList,       // `from` lists `to`'s values
  SharedValue,           // `from`'s first value is `to`'s first value cell
  SharedData,            // `from`'s first value's data is `to`'s first value's data cell
  BigDataExtraSegment,   // `from`'s first value becomes a big data record with one
                         // segment too many, the extra entry naming `to`'s first value
  RingIntoData,          // `from` uses a new descriptor, count 1, whose ring links name
                         // `to`'s data cells (made to begin with "s", or "sk")
  SharedDescriptorCountOne,  // `from` and `to` use a new descriptor whose count is 1
                             // (variant: `from` alone, no damage at all)
  DataIsDescriptor,      // `from`'s first value's data is `to`'s security descriptor
  kCount,
};

class HiveDamage {
 public:
  struct Key {
    std::uint32_t cell = 0;
    std::uint32_t parent = 0;     // 0xFFFFFFFF for the root
    std::string path;             // below the root, "\\"-separated
    std::vector<std::uint32_t> values;
  };

  // Reads the hive's keys; ok() is false when it is not a hive whose every
  // key and list reads.
  explicit HiveDamage(std::string_view bytes);
  bool ok() const { return m_ok; }
  const std::vector<Key>& keys() const { return m_keys; }

  // Plants one damage between the keys at those indexes of keys(); false
  // (nothing changed) when they lack what it needs.
  bool plant(Damage damage, std::size_t from, std::size_t to, bool variant = false);
  // Plants up to `count` damages between keys chosen at random; returns how
  // many were planted.
  int plantRandom(std::mt19937& random, int count);
  // The damaged hive.
  std::string bytes() const;

 private:
  std::uint32_t le32(std::uint32_t cell, std::size_t field) const;
  void put32(std::uint32_t cell, std::size_t field, std::uint32_t value);
  // Appends an allocated cell holding `payload`; returns its offset.
  std::uint32_t addCell(const std::string& payload);
  // The first value of a key and its data cell (0xFFFFFFFF when held in
  // the value cell or empty).
  bool firstData(const Key& key, std::uint32_t& value, std::uint32_t& data) const;
  // A new descriptor whose ring links are `next` and `previous`, count 1.
  std::uint32_t addDescriptor(std::uint32_t next, std::uint32_t previous);

  bool m_ok = false;
  std::string m_bytes;     // the original hbins as changed
  std::string m_appended;  // the cells of the hbin to append
  std::uint32_t m_binsSize = 0;
  std::vector<Key> m_keys;
};

}  // namespace comsweep::fuzz
