#pragma once
// A file written front to back through a large buffer, under a temporary name
// beside its final one: a machine file appears complete or not at all, and a
// failed run leaves an earlier file of that name as it was. The first failure
// is kept; later writes do nothing, and commit() reports it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace comsweep::bench {

class OutputFile {
 public:
  OutputFile() = default;
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path);
  void write(std::string_view bytes);
  // Each byte of ASCII text as one UTF-16LE code unit.
  void writeUtf16(std::string_view ascii);
  // Flushes, closes and renames the file to its final name. False, with the
  // temporary file removed, if anything failed since open(). The file is not
  // synced: a generated machine can be made again from its seed.
  bool commit();

  std::uint64_t bytesWritten() const { return m_written; }
  const std::string& error() const { return m_error; }

 private:
  void flush();
  void fail(const char* what);
  void discard();

  int m_fd = -1;
  std::string m_path;
  std::string m_partial;
  std::vector<char> m_buffer;
  std::size_t m_used = 0;
  std::uint64_t m_written = 0;
  std::string m_error;
};

}  // namespace comsweep::bench
