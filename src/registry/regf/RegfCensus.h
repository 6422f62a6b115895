#pragma once
// Which cells of a hive the removal of some keys may free. A sound hive
// gives each cell one owner, but a damaged one (that the hive tools still
// read cleanly) may let two structures name one cell: a class name naming a
// key, two keys sharing a value list, a value, a data cell, a big data
// record whose segment list names more segments than its data needs.
//
// Before anything is written, the census gathers the cells the removed keys
// would free (their key cells, subkey lists, value lists, values and data,
// class names) and walks every other key from the hive's root, marking each
// cell a kept structure names. A big data record's segment list counts for
// a removed value only as far as its size needs; for a kept one, every
// entry it announces is kept (readers that follow them all exist). A cell
// is free to go only when the removed keys name it once and nothing kept
// names it; any other stays allocated, a leak the hive tools and this
// reader do not mind. The walk also counts, for every security descriptor
// a removed key uses, the kept keys using it.
//
// Cost: one pass over the hive's keys and values, a byte of marks per eight
// bytes of hive (a cell takes at least eight, so no two share one), taken
// zeroed from the system as it is first touched (no pass clearing it), and
// four bytes per key for the descriptors; no allocation per cell. Each cell
// is followed at most once as each kind of structure, so a hive whose lists
// all name one another is walked in linear time too.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "registry/regf/RegfView.h"

namespace comsweep::registry::regf {

struct RemovedKey {
  std::uint32_t cell = kNoCell;
  std::uint32_t parent = kNoCell;  // the key whose subkey list holds it
};

class RegfCensus {
 public:
  RegfCensus(const RegfView& view, std::size_t cellSlots);

  // Takes the census of the hive whose root key is `root`, for removing
  // `removed`. A removed key is left out of the walk only where its parent
  // lists it: named by any other kept structure, it (and what is below it)
  // is kept.
  void take(std::uint32_t root, const std::vector<RemovedKey>& removed);

  // The cells the removed keys name exactly once, in the order of offsets.
  const std::vector<std::uint32_t>& removedCells() const { return m_removedCells; }
  // True when the removed keys name the cell once and no kept structure
  // names it, as anything (descriptors included).
  bool mayFree(std::uint32_t cell) const;
  // True when exactly one kept structure names the cell: it may be
  // rewritten for that owner without changing another.
  bool keptOnce(std::uint32_t cell) const { return (flags(cell) & (kKept | kKeptTwice)) == kKept; }
  // True when a kept structure names the cell as something other than its
  // security descriptor.
  bool keptAsData(std::uint32_t cell) const { return (flags(cell) & kKept) != 0; }
  // For a message: the path below the root of a key other than `owner`
  // whose structures name `cell` too, or that lists `cell` when it is
  // `owner`'s key cell and another list holds it already; empty when none
  // is found. A walk of its own over the hive.
  std::string otherOwner(std::uint32_t root, std::uint32_t cell, std::uint32_t owner) const;
  // The cells, in the order of offsets, that may not be rewritten or freed
  // for one owner: named by more than one kept structure, or a descriptor
  // that a kept structure names as something else too. A pass over the marks.
  std::vector<std::uint32_t> sharedCells() const;
  // The security descriptors the removed keys use, each with the number of
  // kept keys that use it too.
  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& descriptors() const { return m_descriptors; }

 private:
  enum Flag : std::uint8_t {
    kKept = 1, kKeptTwice = 2, kRemovedKey = 4,
    // Followed as a key, a subkey list, a value list, a value.
    kWalkedKey = 8, kWalkedSubkeys = 16, kWalkedValues = 32, kWalkedValue = 64,
  };
  // The marks of the cell at `cell`; none for an offset where no cell starts.
  std::uint8_t flags(std::uint32_t cell) const { return m_view.startsCell(cell) ? m_flags[cell / 8] : 0; }
  // Notes a reference to `cell` from a kept structure, as `kind` (one of
  // the kWalked flags, or 0 for a cell whose content names nothing); true
  // when it is a cell not yet followed as that kind.
  bool keep(std::uint32_t cell, std::uint8_t kind = 0);
  // Notes a removed key's reference to `cell` when it is a cell.
  void claim(std::uint32_t cell);
  void claimKey(std::uint32_t keyCell);
  // The cells of a value's data, as far as its size needs, kept.
  void keepValue(std::uint32_t valueCell);
  // Marks one kept key's cells and queues the keys its lists name.
  void keepKey(std::uint32_t keyCell, bool whole);
  // Marks the security descriptor a key uses; counts it when a removed key
  // uses it too.
  void noteDescriptor(std::uint32_t cell, bool kept);

  const RegfView& m_view;
  struct Release {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  // Per 8 bytes of hive, zeroed by the system (calloc) rather than by a
  // pass over all of it; only the slots of cells are ever marked.
  std::unique_ptr<std::uint8_t[], Release> m_flags;
  std::size_t m_slots = 0;
  std::vector<std::uint32_t> m_removedCells;
  // Every key's descriptor, sorted once the walk is done: none is freed
  // but by releasing it.
  std::vector<std::uint32_t> m_securityCells;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> m_descriptors;  // sorted by cell
  std::vector<RemovedKey> m_removed;  // sorted by cell
  // Keys still to walk; `whole` when it was reached other than through its
  // parent's list, so that nothing below it is left out.
  std::vector<std::pair<std::uint32_t, bool>> m_pending;
  std::vector<std::uint32_t> m_scratch;
};

}  // namespace comsweep::registry::regf
