#pragma once
// What no Windows registry can hold, so that a loader refuses a machine that
// holds it as damaged rather than cleaning it: key names longer than 255
// UTF-16 units and keys nested more than 512 levels below a hive's root.

#include <cstddef>
#include <string>
#include <string_view>

namespace comsweep::registry {

inline constexpr std::size_t kMaxKeyNameUnits = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;

// True when the UTF-8 key name is longer than a registry allows.
bool keyNameTooLong(std::string_view utf8);

// A key path short enough for a message: whole when it is, else its first
// levels, "...", and its last level, each cut to a readable length.
std::string shortenedPath(std::string_view path);

// Empty when the key at `path` (levels between backslashes, the first
// `rootLevels` of them naming the registry root, not counted as depth) may
// be held by a registry, else the message refusing it.
std::string pathLimitProblem(std::string_view path, std::size_t rootLevels);

// The message of a loader refusing a key name that is too long; `parent` is
// the path of the key that holds it (may be empty).
std::string tooLongNameMessage(std::string_view parent, std::string_view name);
// The message of a loader refusing a key nested too deep.
std::string tooDeepMessage(std::string_view path);

}  // namespace comsweep::registry
