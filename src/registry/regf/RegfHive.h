#pragma once
// A regf hive file opened for reading: mapped read-only, so that only the
// pages a reader touches are read, and checked as a whole before any key is
// read. Opening refuses a file that is not a hive, is a transaction log, was
// not closed cleanly (its logs were never applied), is truncated, or whose
// base block or hbins are damaged; it walks the hbins once to know where
// cells start, which every later read is checked against (RegfView).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/MappedFile.h"
#include "platform/SignalCleanup.h"
#include "registry/regf/RegfView.h"

namespace comsweep::registry::regf {

class RegfHive {
 public:
  // The hive, or null with `error` set to a phrase that follows the file's
  // name ("the file is truncated: ..."). A `privateCopy` may be patched in
  // memory (writableBytes) without the file seeing it.
  static std::unique_ptr<RegfHive> open(const std::filesystem::path& file, std::string& error);
  // `file` (this hive, or a copy of it patched by RegfEditor) mapped again
  // with this hive's cell layout, without walking its hbins: as a private
  // copy that may be patched in memory (writableBytes) without the file
  // seeing it, or read-only. Null with `error` set as open() does.
  std::unique_ptr<RegfHive> reopen(const std::filesystem::path& file, bool privateCopy,
                                   std::string& error) const;

  const RegfView& view() const { return m_view; }
  std::uint32_t rootCell() const { return m_rootCell; }
  // The whole file as mapped.
  std::span<const unsigned char> bytes() const { return {m_map.data(), m_map.size()}; }
  // Only for a private copy; the layout stays that of the file as opened.
  std::span<unsigned char> writableBytes() { return {m_map.writableData(), m_map.size()}; }
  // How many allocated cells look like keys: at least as many as there are keys.
  std::size_t keyCells() const { return m_keyCells; }
  // One more than the largest cell offset divided by 4.
  std::size_t cellSlots() const { return m_cellStarts->size(); }
  // The image of the hbins of another copy of this file (a copy being
  // patched), read with this file's cell layout.
  RegfView viewOf(std::span<const unsigned char> file) const {
    return RegfView(file.subspan(kBaseBlockSize, m_binsSize), m_cellStarts.get());
  }
  const platform::FileIdentity& identity() const { return m_identity; }
  // The file, open for reading as long as the hive is.
  int descriptor() const { return m_fd.get(); }
  // Lets the mapped pages of a read-only hive go until they are read again.
  void letPagesGo() { m_map.letPagesGo(); }
  // Unmaps and closes the file (which cannot be replaced while it is mapped
  // on every system), keeping the layout for reopen(). Nothing may be read
  // afterwards.
  void release();

 private:
  RegfHive() = default;
  // Maps the file and checks its base block; null with `error`.
  static std::unique_ptr<RegfHive> map(const std::filesystem::path& file, bool privateCopy,
                                       std::string& error);
  // Walks the hbins; an empty string when they are sound, else what is wrong.
  std::string walkBins(std::vector<bool>& cellStarts);
  // Sets the view and the root key; false with `error` when there is none.
  bool finishOpen(std::string& error);

  platform::FileDescriptor m_fd;
  platform::MappedFile m_map;
  // After m_map: no longer named once the mapping goes.
  platform::NameOnShrink m_named;
  platform::FileIdentity m_identity;
  std::size_t m_binsSize = 0;
  // One bit per 4 bytes of the hbins; shared by the copies of one hive.
  std::shared_ptr<const std::vector<bool>> m_cellStarts;
  RegfView m_view;
  std::uint32_t m_rootCell = kNoCell;
  std::size_t m_keyCells = 0;
};

// The checksum of a base block: the XOR of its first 127 little-endian
// words, except that 0 and 0xFFFFFFFF are stored as 1 and 0xFFFFFFFE.
std::uint32_t baseBlockChecksum(const unsigned char* block);

}  // namespace comsweep::registry::regf
