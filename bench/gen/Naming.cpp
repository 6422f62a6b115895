#include "gen/Naming.h"

#include "gen/RegistryOrder.h"

namespace comsweep::bench {
namespace {

constexpr std::array<std::string_view, 24> kAdjectives = {
    "Smart", "Data",  "Rich",  "Quick",  "Easy",  "Active", "Power", "Flex",
    "Micro", "Net",   "Web",   "Doc",    "Image", "Media",  "Print", "Report",
    "Form",  "Text",  "Shell", "Sync",   "Secure", "Cloud", "Field", "Tab"};
constexpr std::array<std::string_view, 24> kNouns = {
    "Grid",    "View",    "Control", "Editor",  "Viewer",  "Browser", "Parser", "Manager",
    "Provider", "Handler", "Factory", "Service", "Loader",  "Writer",  "Reader", "Filter",
    "Button",  "List",    "Tree",    "Panel",   "Calendar", "Chart",  "Scanner", "Player"};
constexpr std::array<std::string_view, kVendorCount> kVendors = {
    "Contoso", "Fabrikam",  "Northwind", "Litware", "Adatum",    "Tailspin",
    "Wingtip", "Proseware", "Lucerne",   "Coho",    "Woodgrove", "Humongous",
    "Alpine",  "Trey",      "Relecloud", "Wideworld"};

void appendHex(std::string& out, std::uint64_t v, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) out += kHex[(v >> (4 * i)) & 0xF];
}

}  // namespace

Guid randomGuid(Rng& rng) {
  Guid g{rng.next(), rng.next()};
  g.hi = (g.hi & ~(0xFull << 12)) | (0x4ull << 12);   // version 4
  g.lo = (g.lo & ~(0x3ull << 62)) | (0x2ull << 62);   // RFC 4122 variant
  return g;
}

std::string guidText(const Guid& g) {
  std::string s;
  s.reserve(38);
  s += '{';
  appendHex(s, g.hi >> 32, 8);
  s += '-';
  appendHex(s, (g.hi >> 16) & 0xFFFF, 4);
  s += '-';
  appendHex(s, g.hi & 0xFFFF, 4);
  s += '-';
  appendHex(s, g.lo >> 48, 4);
  s += '-';
  appendHex(s, g.lo & 0xFFFFFFFFFFFFull, 12);
  s += '}';
  return s;
}

std::string thingName(std::uint32_t index) {
  constexpr std::uint32_t kCombinations = kAdjectives.size() * kNouns.size();
  std::string s(kAdjectives[index % kAdjectives.size()]);
  // Some names hold '_', which sorts after the letters: readers that order
  // keys by raw bytes or by lower case get such siblings wrong.
  if (index % 13 == 5) s += '_';
  s += kNouns[(index / kAdjectives.size()) % kNouns.size()];
  if (std::uint32_t round = index / kCombinations; round > 0) s += std::to_string(round);
  return s;
}

std::string_view vendorName(std::uint32_t index) { return kVendors[index % kVendorCount]; }

std::string mixedCase(std::string_view fragment, Rng& rng) {
  std::string s(fragment);
  std::uint64_t bits = rng.next();
  for (std::size_t i = 0; i < s.size(); ++i, bits >>= 1) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((bits & 1) && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    s[i] = c;
  }
  return s;
}

bool containsFragment(std::string_view text) {
  for (std::string_view fragment : kFamilyFragments) {
    if (fragment.size() > text.size()) continue;
    for (std::size_t at = 0; at + fragment.size() <= text.size(); ++at)
      if (compareNames(text.substr(at, fragment.size()), fragment) == 0) return true;
  }
  return false;
}

std::string lowerAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> extensionCodes(std::size_t count) {
  std::vector<std::string> codes;
  codes.reserve(count);
  std::string code = "aaa";
  while (codes.size() < count) {
    // Only names of five letters or more can spell a fragment.
    if (!containsFragment(code)) codes.push_back(code);
    std::size_t i = code.size();
    while (i > 0 && code[i - 1] == 'z') code[--i] = 'a';
    if (i == 0)
      code.insert(code.begin(), 'a');
    else
      ++code[i - 1];
  }
  return codes;
}

}  // namespace comsweep::bench
