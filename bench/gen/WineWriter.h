#pragma once
// Writes keys as Wine's system.reg: a key block "[Path\\To\\Key] <time>" with
// a "#time=" line and the values; keys that have subkeys but no values get no
// block of their own, as Wine saves them. Key paths are relative to
// HKEY_LOCAL_MACHINE, so the caller opens "Software", "Classes" itself.

#include <string>
#include <vector>

#include "gen/KeySink.h"
#include "gen/OutputFile.h"

namespace comsweep::bench {

class WineWriter : public KeySink {
 public:
  explicit WineWriter(OutputFile& out);
  void openKey(std::string_view name) override;
  void addValue(const Value& value) override;
  void closeKey() override;

 private:
  struct Frame {
    std::size_t pathLength;  // of m_path before this key's name was added
    bool written = false;    // its block header is out
    bool hasSubkeys = false;
  };
  void writeHeader(Frame& frame);
  void appendEscaped(std::string_view text, char quote);

  OutputFile& m_out;
  std::string m_path;  // escaped, components joined by a doubled backslash
  std::vector<Frame> m_frames;
  std::string m_line;
  std::string m_timeLines;  // " <unix time>\n#time=<FILETIME>\n"
};

}  // namespace comsweep::bench
