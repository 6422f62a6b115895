#include "registry/wine/WineEscapes.h"

#include <cstdio>

#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// Decodes the UTF-8 sequence at text[i] (its lead byte is above 127) and
// appends its UTF-16 units; false when the bytes are not UTF-8, which for
// Wine's loader includes encoded surrogates.
bool decodeUtf8(std::string_view text, std::size_t& i, std::u16string* out) {
  std::size_t at = i;
  char32_t cp;
  if (!registry::decodeUtf8(text, at, cp) || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i = at;
  if (out) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
  }
  return true;
}

}  // namespace

WineEscapes::Result WineEscapes::unescape(std::string_view text, char delimiter,
                                          std::u16string* out) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto put = [out](char32_t unit) {
    if (out) out->push_back(static_cast<char16_t>(unit));
  };
  while (i < n) {
    // Most text is plain ASCII: copy runs of it at once.
    std::size_t plainEnd = i;
    while (plainEnd < n) {
      auto b = static_cast<unsigned char>(text[plainEnd]);
      if (b == static_cast<unsigned char>(delimiter) || b == '\\' || b >= 0x80) break;
      ++plainEnd;
    }
    if (out && plainEnd > i) {
      std::size_t at = out->size();
      out->resize(at + (plainEnd - i));
      for (std::size_t k = i; k < plainEnd; ++k) (*out)[at++] = static_cast<unsigned char>(text[k]);
    }
    i = plainEnd;
    if (i == n) break;
    char c = text[i];
    if (c == delimiter) return {Status::Ok, i + 1};
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (!decodeUtf8(text, i, out)) return {Status::BadUtf8, i};
      continue;
    }
    ++i;  // past the backslash, the only other byte the run stops at
    if (i == n) break;  // a backslash ending the line escapes nothing
    c = text[i++];
    // clang-format off
    switch (c) {
      case 'a': put('\a'); break;
      case 'b': put('\b'); break;
      case 'e': put(0x1B); break;
      case 'f': put('\f'); break;
      case 'n': put('\n'); break;
      case 'r': put('\r'); break;
      case 't': put('\t'); break;
      case 'v': put('\v'); break;
      // clang-format on
      case 'x': {
        if (i == n || hexDigit(text[i]) < 0) {
          put('x');
          break;
        }
        char32_t unit = 0;
        for (int k = 0; k < 4 && i < n && hexDigit(text[i]) >= 0; ++k)
          unit = unit * 16 + static_cast<char32_t>(hexDigit(text[i++]));
        put(unit);
        break;
      }
      default:
        if (isOctal(c)) {
          char32_t unit = static_cast<char32_t>(c - '0');
          for (int k = 0; k < 2 && i < n && isOctal(text[i]); ++k)
            unit = unit * 8 + static_cast<char32_t>(text[i++] - '0');
          put(unit);
        } else if (static_cast<unsigned char>(c) >= 0x80) {
          --i;  // an escaped UTF-8 sequence stands for itself
          if (!decodeUtf8(text, i, out)) return {Status::BadUtf8, i};
        } else {
          put(static_cast<unsigned char>(c));
        }
    }
  }
  return {Status::Unterminated, n};
}

std::string WineEscapes::escape(std::u16string_view units, std::string_view delimiters) {
  static constexpr char kCEscapes[33] = ".......abtnvfr.............e....";
  std::string out;
  out.reserve(units.size());
  char buffer[16];
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    bool more = i + 1 < units.size();
    if (u > 127) {
      bool hexNext = more && units[i + 1] < 128 && hexDigit(static_cast<char>(units[i + 1])) >= 0;
      std::snprintf(buffer, sizeof buffer, hexNext ? "\\x%04x" : "\\x%x", static_cast<unsigned>(u));
      out += buffer;
    } else if (u < 32) {
      if (kCEscapes[u] != '.') {
        out += '\\';
        out += kCEscapes[u];
      } else {
        bool octalNext = more && units[i + 1] >= '0' && units[i + 1] <= '7';
        std::snprintf(buffer, sizeof buffer, octalNext ? "\\%03o" : "\\%o",
                      static_cast<unsigned>(u));
        out += buffer;
      }
    } else {
      auto c = static_cast<char>(u);
      if (c == '\\' || delimiters.find(c) != std::string_view::npos) out += '\\';
      out += c;
    }
  }
  return out;
}

}  // namespace comsweep::registry
