#pragma once
// Adds keys and values to a hive image held in memory (the whole file, base
// block included), which records every range written. New cells go into
// free cells where they fit (the rest of a larger free cell stays free),
// else into hbins appended to the hive, in multiples of 4 KiB. A key's
// subkey lists are written again with the new subkeys in the registry's
// order: leaves of the kind the key already uses (lf, lh or li, with their
// hashes), below an ri list when the key has one or the subkeys no longer
// fit one leaf. Counts and the largest name and data lengths of the keys
// are kept up to date; finish() sets the size of the hbins, the sequence
// numbers and the checksum in the base block.
//
// A new key gets its parent's security descriptor (one more use of it), no
// class name and the base block's time, so that the same additions to the
// same hive give the same file. In a damaged hive whose structures share
// cells, a shared list, value or data cell is left allocated rather than
// freed, and a key or descriptor cell that another structure names too is
// not written: the call fails. Value data longer than one cell holds
// (kBigDataSegment) goes into a big data record on hives of version 1.4 on.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "registry/regf/RegfHive.h"
#include "registry/regf/RegfImage.h"
#include "registry/regf/RegfView.h"

namespace comsweep::registry::regf {

// A value to set: the name as UTF-8 ("" for the default value), the data as
// it is to be stored.
struct NewValue {
  std::string_view name;
  std::uint32_t type = 0;
  std::string_view data;
};

class RegfGrower {
 public:
  // `image` stays the caller's; it grows as hbins are appended.
  explicit RegfGrower(RegfImage& image) : m_image(image) {}

  // Walks the hbins to learn the cells; false with `why` when the image is
  // not a hive whose hbins can be walked.
  bool start(std::string& why);
  // Adds the subkeys `names` (UTF-8, none already a subkey, none twice) to
  // the key at `parent`; `cells` receives the new keys' cells in the order
  // of `names`. False with `why`, the image then half changed.
  bool addSubkeys(std::uint32_t parent, const std::vector<std::string>& names,
                  std::vector<std::uint32_t>& cells, std::string& why);
  // Sets the values of the key at `key`: a value of the same name, compared
  // without regard to case, is replaced where it is listed, others are
  // added at the end of the list.
  bool setValues(std::uint32_t key, const std::vector<NewValue>& values, std::string& why);
  // Marks the image written (see above).
  void finish();
  // The image's cells as they are now.
  RegfView view() const;

 private:
  std::uint32_t binsSize() const;
  const unsigned char* at(std::uint32_t cell) const { return m_image.bytes().data() + kBaseBlockSize + cell; }
  // The first `length` bytes of `cell`, to be written.
  unsigned char* change(std::uint32_t cell, std::size_t length) {
    return m_image.change(kBaseBlockSize + cell, length);
  }
  // A new allocated cell whose payload holds `size` bytes, zeroed; its offset.
  std::uint32_t allocate(std::size_t size);
  // Frees `cell` unless it is freed already or shared.
  void release(std::uint32_t cell);
  // True when more than one structure of the hive as it was named `cell`.
  bool shared(std::uint32_t cell) const;
  // False with `why` when the key's cell is shared: writing it would
  // change another structure.
  bool ownedAlone(std::uint32_t keyCell, std::string& why) const;
  // A new cell holding `bytes`.
  std::uint32_t store(const std::string& bytes);
  // Writes the leaves (and ri list) for `entries` (cell, UTF-8 name) of the
  // kind `kind` ('f', 'h' or 'i'); returns the top list's cell.
  std::uint32_t writeLists(const std::vector<std::pair<std::uint32_t, std::string>>& entries, char kind,
                           bool indexed);
  // The cell of the value data `data` (a big data record when it is long).
  std::uint32_t storeData(std::string_view data);
  void releaseData(const ValueCell& value);

  RegfImage& m_image;
  std::vector<bool> m_cellStarts;
  // Free cells by size, then offset: the best fit is the first one large enough.
  std::multimap<std::uint32_t, std::uint32_t> m_free;
  std::uint32_t m_minorVersion = 0;
  std::vector<std::uint32_t> m_shared;  // sorted
};

// The hash an lh list keeps of a key name (UTF-8): each UTF-16 unit upper
// cased, as the registry compares names, h = h * 37 + unit.
std::uint32_t nameHash(std::string_view name);

}  // namespace comsweep::registry::regf
