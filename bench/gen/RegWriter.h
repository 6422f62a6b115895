#pragma once
// Writes keys as a registry editor export: UTF-16LE with a byte-order mark,
// CR LF line ends, a block for every key. Paths are absolute: the caller
// opens the hive root key (e.g. "HKEY_CLASSES_ROOT") first.

#include <string>
#include <vector>

#include "gen/KeySink.h"
#include "gen/OutputFile.h"

namespace comsweep::bench {

class RegWriter : public KeySink {
 public:
  explicit RegWriter(OutputFile& out);
  void openKey(std::string_view name) override;
  void addValue(const Value& value) override;
  void closeKey() override;
  // Ends the last block; call once, after the last closeKey().
  void finish();

 private:
  void appendEscaped(std::string_view text);
  // Comma-separated hex bytes, broken into continuation lines as the
  // registry editor does; m_line holds the text before them.
  void appendHex(std::string_view bytes);

  OutputFile& m_out;
  std::string m_path;
  std::vector<std::size_t> m_pathLengths;
  std::string m_line;
  bool m_anyBlock = false;
};

}  // namespace comsweep::bench
