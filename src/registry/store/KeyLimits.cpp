#include "registry/store/KeyLimits.h"

#include <vector>

#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

constexpr std::size_t kShownLevel = 40;  // bytes of one level a message shows
constexpr std::size_t kShownPath = 200;  // a path up to this length is shown whole

// At most `limit` bytes of `level`, cut before a whole UTF-8 character.
std::string cutLevel(std::string_view level, std::size_t limit = kShownLevel) {
  if (level.size() <= limit) return std::string(level);
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(level[end]) & 0xC0) == 0x80) --end;
  return std::string(level.substr(0, end)) + "...";
}

}  // namespace

bool keyNameTooLong(std::string_view utf8) {
  // One UTF-16 unit needs at least one byte.
  if (utf8.size() <= kMaxKeyNameUnits) return false;
  return utf8ToUtf16(utf8).size() > kMaxKeyNameUnits;
}

std::string shortenedPath(std::string_view path) {
  if (path.size() <= kShownPath) return std::string(path);
  std::vector<std::string_view> levels;
  for (std::size_t at = 0;;) {
    const std::size_t end = path.find('\\', at);
    levels.push_back(path.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  // The first levels say where the key lies, the last one which it is.
  constexpr std::size_t kFirst = 3;
  std::string out;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (i == kFirst && levels.size() > kFirst + 1) {
      out += "...\\";
      i = levels.size() - 1;
    }
    out += cutLevel(levels[i]);
    if (i + 1 < levels.size()) out += '\\';
  }
  return out;
}

std::string pathLimitProblem(std::string_view path, std::size_t rootLevels) {
  std::size_t levels = 0;
  for (std::size_t at = 0;; ++levels) {
    const std::size_t end = path.find('\\', at);
    const std::string_view level = path.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (keyNameTooLong(level)) return tooLongNameMessage(at ? path.substr(0, at - 1) : std::string_view(), level);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  if (levels + 1 > kMaxKeyDepth + rootLevels) return tooDeepMessage(path);
  return {};
}

std::string tooLongNameMessage(std::string_view parent, std::string_view name) {
  const std::size_t units = utf8ToUtf16(name).size();
  std::string path = parent.empty() ? std::string(name) : std::string(parent) + "\\" + std::string(name);
  return "the key " + shortenedPath(path) + " has a name of " + std::to_string(units) +
         " characters; a registry key name holds at most " + std::to_string(kMaxKeyNameUnits) +
         " (the machine is damaged)";
}

std::string tooDeepMessage(std::string_view path) {
  return "the key " + shortenedPath(path) + " lies more than " + std::to_string(kMaxKeyDepth) +
         " levels deep, deeper than a registry allows (the machine is damaged)";
}

}  // namespace comsweep::registry
