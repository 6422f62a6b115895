#pragma once
// The stream of keys a machine generator produces and the file writers
// consume. Contract for callers: a key's values come after its openKey and
// before its first subkey; siblings come in registry order (RegistryOrder.h);
// every openKey is matched by a closeKey.

#include <cstdint>
#include <string_view>

namespace comsweep::bench {

enum class ValueType : std::uint32_t { Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4 };

struct Value {
  std::string_view name;  // empty for the default value
  ValueType type = ValueType::Sz;
  std::string_view text;  // Sz, ExpandSz: ASCII text; Binary: the bytes
  std::uint32_t dword = 0;
};

class KeySink {
 public:
  virtual ~KeySink() = default;
  virtual void openKey(std::string_view name) = 0;
  virtual void addValue(const Value& value) = 0;
  virtual void closeKey() = 0;
};

}  // namespace comsweep::bench
