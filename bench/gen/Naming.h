#pragma once
// Names and texts of synthetic components. Ordinary names are built from a
// vocabulary that cannot spell a family fragment, so the components that
// carry a fragment are exactly the ones the generator put it in.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gen/Rng.h"

namespace comsweep::bench {

// The name fragments a run with every family selected searches for.
inline constexpr std::array<std::string_view, 14> kFamilyFragments = {
    "m9q", "p9q", "t9q", "w9q", "h9q", "r9q", "n9q",
    "ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX", "QZ.", "M9QRES", "GRIDCHART"};

struct Guid {
  std::uint64_t hi = 0;  // the first 16 hex digits, in text order
  std::uint64_t lo = 0;  // the last 16
  bool operator<(const Guid& o) const { return hi != o.hi ? hi < o.hi : lo < o.lo; }
};

// A random (version 4) GUID. Its text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// in upper case, sorts in registry order exactly as the Guid compares.
Guid randomGuid(Rng& rng);
std::string guidText(const Guid& guid);

// Unique for each index, e.g. "SmartGrid", "Quick_Viewer3".
std::string thingName(std::uint32_t index);
std::string_view vendorName(std::uint32_t index);
inline constexpr std::uint32_t kVendorCount = 16;

// The fragment with its letters in random case, e.g. "m9Q", "GvoXa".
std::string mixedCase(std::string_view fragment, Rng& rng);
// Whether the text holds a family fragment, letter case ignored.
bool containsFragment(std::string_view text);
std::string lowerAscii(std::string_view text);

// The first `count` names of lower-case letters, at least three long, that
// carry no fragment: "aaa", "aab", ... in order, all distinct.
std::vector<std::string> extensionCodes(std::size_t count);

}  // namespace comsweep::bench
