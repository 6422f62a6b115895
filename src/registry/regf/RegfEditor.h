#pragma once
// Removes keys from a copy of a hive by patching it in place: the removed
// keys' cells are marked free and their parents' subkey lists are compacted
// where they are. Removal only ever shortens a list, so no cell is allocated
// and the cell layout stays that of the original (the copy is read with the
// original's RegfHive layout).
//
// A cell is freed only when it is an allocated cell the layout knows and a
// census of the hive (RegfCensus) says that only the removed keys name it,
// so a damaged reference frees nothing, a cell a kept structure shares is
// left allocated, and a cell is never freed twice.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "registry/regf/ByteRanges.h"
#include "registry/regf/RegfCensus.h"
#include "registry/regf/RegfHive.h"

namespace comsweep::registry::regf {

class RegfEditor {
 public:
  // `file` is the whole copy, base block included, as long as the original.
  RegfEditor(const RegfHive& layout, std::span<unsigned char> file)
      : m_file(file), m_view(layout.viewOf(file)) {}

  // Frees the cells the census found the removed keys alone name.
  void freeCells(const RegfCensus& census);
  // Settles a security descriptor removed keys used, that `keptUses` kept
  // keys use too: its count becomes that number; with none, it leaves the
  // ring of descriptors and is freed. Nothing is written into a cell that is
  // not a whole descriptor, nor into one a kept structure reads as data, and
  // the ring is left as it is unless both neighbours are such descriptors.
  void releaseSecurity(std::uint32_t cell, std::uint32_t keptUses, const RegfCensus& census);
  // Keeps of the key's subkeys those whose `keep` entry (by stored position)
  // is true, in their order, and sets its subkey count. Lists left empty
  // are freed. False with `why` when the key's lists cannot be read.
  bool keepSubkeys(std::uint32_t keyCell, const std::vector<bool>& keep, std::string& why);
  // Marks the copy written: both sequence numbers one past the old one and
  // the checksum. The time in the base block is kept, so that the same
  // removals from the same hive give the same file.
  void finish();
  // The byte ranges of the file changed so far (offset, length), in order
  // and merged: everything else is as in the original.
  ByteRanges changedRanges() const { return m_changed.joined(); }

 private:
  // The cell's payload, to be changed: the whole cell is noted as changed.
  unsigned char* payload(std::uint32_t cell);
  void freeCell(std::uint32_t cell);
  // An allocated cell with the "sk" signature and a whole header.
  bool isDescriptor(std::uint32_t cell) const;
  // Keeps the entries of one lf, lh or li list that `keep` says, from
  // position `next` on; returns how many remain.
  std::uint16_t compactLeaf(std::uint32_t list, const std::vector<bool>& keep, std::size_t& next);

  std::span<unsigned char> m_file;
  RegfView m_view;
  ChangedRanges m_changed;
};

}  // namespace comsweep::registry::regf
