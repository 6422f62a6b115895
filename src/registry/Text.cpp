#include "registry/Text.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace comsweep::registry {
namespace {

void appendUnit(std::string& out, std::uint16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char32_t cp1252(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

locale_t utf8Locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return l ? l : newlocale(LC_CTYPE_MASK, "C", nullptr);
  }();
  return loc;
}

char32_t upper(char32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 0x20 : cp;
  if (cp >= 0xD800 && cp <= 0xDFFF) return cp;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), utf8Locale()));
}

// Sort weight of a code point as the first UTF-16 unit it is encoded with, so
// that supplementary characters sort where their surrogates would.
std::uint32_t unitWeight(char32_t cp) {
  return cp >= 0x10000 ? 0xD800 + ((cp - 0x10000) >> 10) : cp;
}

}  // namespace

// Decodes one UTF-8 sequence at text[i]; surrogate code points encoded in
// three bytes are accepted (they stand for unpaired UTF-16 units). Returns
// false for bytes that are not UTF-8.
bool decodeUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  }
  int len = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return false;
  }
  if (i + len > text.size()) return false;
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF) return false;
  i += len;
  return true;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isValidUtf8(std::string_view text) {
  char32_t cp;
  for (std::size_t i = 0; i < text.size();)
    if (!decodeUtf8(text, i, cp)) return false;
  return true;
}

std::string utf16leToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  std::size_t n = bytes.size() / 2;
  auto unit = [&](std::size_t k) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                      (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  };
  for (std::size_t k = 0; k < n; ++k) {
    std::uint16_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      std::uint16_t lo = unit(k + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (lo - 0xDC00));
        ++k;
        continue;
      }
    }
    appendUtf8(out, u);
  }
  return out;
}

std::string utf8ToUtf16le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    if (!decodeUtf8(text, i, cp)) cp = cp1252(static_cast<unsigned char>(text[i++]));
    if (cp >= 0x10000) {
      cp -= 0x10000;
      appendUnit(out, static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
      appendUnit(out, static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      appendUnit(out, static_cast<std::uint16_t>(cp));
    }
  }
  return out;
}

std::string cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) appendUtf8(out, cp1252(b));
  return out;
}

std::string upperCase(std::string_view text) {
  std::string out;
  upperCaseInto(text, out);
  return out;
}

void upperCaseInto(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>((b >= 'a' && b <= 'z') ? b - 0x20 : b);
      ++i;
      continue;
    }
    std::size_t start = i;
    char32_t cp;
    if (!decodeUtf8(text, i, cp)) {
      out += text[i++];
      continue;
    }
    char32_t up = upper(cp);
    if (up == cp)
      out.append(text.substr(start, i - start));
    else
      appendUtf8(out, up);
  }
}

int compareNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[j]);
    std::uint32_t wa, wb;
    if ((ca | cb) < 0x80) {
      wa = (ca >= 'a' && ca <= 'z') ? ca - 0x20 : ca;
      wb = (cb >= 'a' && cb <= 'z') ? cb - 0x20 : cb;
      ++i;
      ++j;
    } else {
      char32_t pa, pb;
      if (!decodeUtf8(a, i, pa)) pa = cp1252(static_cast<unsigned char>(a[i++]));
      if (!decodeUtf8(b, j, pb)) pb = cp1252(static_cast<unsigned char>(b[j++]));
      wa = unitWeight(upper(pa));
      wb = unitWeight(upper(pb));
    }
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace comsweep::registry
