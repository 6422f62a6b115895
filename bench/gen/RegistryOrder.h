#pragma once
// The orders in which registries keep sibling keys. Windows compares names
// upper-cased, code unit by code unit; Wine (8.0, measured) compares them
// lower-cased and writes system.reg in that order. The two differ for names
// holding one of [ \ ] ^ _ ` : "Rich_Browser" sorts after "RichEditor" on
// Windows and before it in Wine. Generated names are ASCII, so folding maps
// the 26 letters only.

#include <cstddef>
#include <string_view>

namespace comsweep::bench {

enum class NameOrder { Windows, Wine };

inline unsigned char foldAscii(char c, NameOrder order) {
  auto u = static_cast<unsigned char>(c);
  if (order == NameOrder::Windows) return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// <0, 0 or >0.
inline int compareNames(std::string_view a, std::string_view b, NameOrder order = NameOrder::Windows) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = foldAscii(a[i], order);
    unsigned char cb = foldAscii(b[i], order);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool nameLess(std::string_view a, std::string_view b) { return compareNames(a, b) < 0; }

}  // namespace comsweep::bench
