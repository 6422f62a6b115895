#pragma once
// Builds a regf hive from the key stream: nk cells with ASCII names, lh
// subkey lists (split into an ri index of lh leaves for keys with more than
// kMaxLeaf subkeys), vk cells and value lists, and one security cell shared
// by every key. The first key opened is the hive's root.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gen/HiveImage.h"
#include "gen/KeySink.h"
#include "gen/OutputFile.h"

namespace comsweep::bench {

class HiveWriter : public KeySink {
 public:
  static constexpr std::size_t kMaxLeaf = 1000;  // subkeys in a single lh list
  static constexpr std::size_t kLeafSize = 500;  // subkeys per lh leaf of an ri

  HiveWriter();
  void openKey(std::string_view name) override;
  void addValue(const Value& value) override;
  void closeKey() override;
  // Writes the hive; call once, after the root key was closed.
  bool finish(OutputFile& out);
  const std::string& error() const { return m_image.error(); }

 private:
  struct Frame {
    std::uint32_t nk = 0;
    std::uint32_t hash = 0;
    std::uint32_t nameBytes = 0;
    bool valuesDone = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> children;  // nk, lh hash
    std::vector<std::uint32_t> values;
    std::uint32_t maxChildName = 0;
    std::uint32_t maxValueName = 0;
    std::uint32_t maxValueData = 0;
  };
  void finishValues(Frame& frame);
  std::uint32_t writeLeaf(const std::pair<std::uint32_t, std::uint32_t>* entries, std::size_t count);

  HiveImage m_image;
  std::uint32_t m_sk = HiveImage::kNoCell;
  std::uint32_t m_root = HiveImage::kNoCell;
  std::uint64_t m_keys = 0;
  std::vector<Frame> m_frames;  // kept for reuse; m_depth of them are open
  std::size_t m_depth = 0;
  std::string m_data;
};

}  // namespace comsweep::bench
