#include "removal/UndoFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "registry/Text.h"

namespace comsweep::removal {
namespace {

using registry::NodeId;

std::string regQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// True when the data is UTF-16LE text with exactly one terminating NUL and
// nothing that a quoted string would change or lose (NULs, line breaks).
bool plainString(const std::string& data, std::string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 2] != '\0' || data[data.size() - 1] != '\0') return false;
  text = registry::utf16leToUtf8(std::string_view(data).substr(0, data.size() - 2));
  if (text.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return false;
  return registry::utf8ToUtf16le(text) + std::string(2, '\0') == data;
}

std::string hexLine(std::string head, const std::string& data) {
  static const char* kDigits = "0123456789abcdef";
  std::size_t column = head.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    head += kDigits[b >> 4];
    head += kDigits[b & 15];
    column += 2;
    if (i + 1 < data.size()) {
      head += ',';
      ++column;
      // Continue on a new line, indented, as exports do.
      if (column > 76) {
        head += "\\\n  ";
        column = 2;
      }
    }
  }
  return head;
}

std::string timestamp(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

std::string regFileValueLine(const registry::NamedValue& value) {
  std::string head = value.name.empty() ? "@=" : regQuoted(value.name) + "=";
  const std::string& data = value.value.data;
  std::string text;
  switch (value.value.type) {
    case registry::REG_SZ:
      if (plainString(data, text)) return head + regQuoted(text);
      break;
    case registry::REG_DWORD:
      if (data.size() == 4) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", v);
        return head + digits;
      }
      break;
    case registry::REG_BINARY:
      return hexLine(head + "hex:", data);
    default:
      break;
  }
  char type[24];
  std::snprintf(type, sizeof type, "hex(%x):", value.value.type);
  return hexLine(head + type, data);
}

void UndoFile::appendKey(std::string& out, NodeId node, const std::string& path,
                         bool& complete) const {
  out += "\n[" + m_root + "\\" + path + "]\n";
  std::vector<registry::NamedValue> values;
  if (!m_store.values(node, values)) complete = false;
  for (const auto& value : values) out += regFileValueLine(value) + "\n";
  for (std::uint32_t i = 0; i < m_store.childCount(node); ++i) {
    NodeId child = m_store.childAt(node, i);
    appendKey(out, child, path + "\\" + std::string(m_store.name(child)), complete);
  }
}

std::string UndoFile::text(const std::vector<std::string>& paths, bool& complete) const {
  complete = true;
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const std::string& path : paths) {
    NodeId node = m_store.root();
    std::string_view rest = path;
    while (node != registry::kNoNode && !rest.empty()) {
      std::size_t cut = rest.find('\\');
      node = m_store.findChild(node, rest.substr(0, cut));
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    if (node != registry::kNoNode && node != m_store.root()) appendKey(out, node, path, complete);
  }
  return out + "\n";
}

BackupResult UndoFile::write(const std::vector<std::string>& paths, std::time_t now) const {
  bool complete = true;
  std::string text = this->text(paths, complete);
  if (!complete) return {false, {}, "the values of a key could not be read"};
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string bytes = "\xFF\xFE" + registry::utf8ToUtf16le(crlf);

  const std::string stem = "9QReg-" + timestamp(now);
  std::filesystem::path file;
  int fd = -1;
  for (int n = 1; fd < 0 && n < 1000; ++n) {
    std::string name = stem;
    if (n > 1) name.append("-").append(std::to_string(n));
    name.append(".reg");
    file = m_directory / name;
    // Never over an existing file, never through a link.
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return {false, {}, file.string() + ": " + std::strerror(errno)};
  }
  if (fd < 0) return {false, {}, file.string() + ": " + std::strerror(EEXIST)};
  std::string_view rest = bytes;
  int err = 0;
  while (!rest.empty()) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(file.c_str());
    return {false, {}, file.string() + ": " + std::strerror(err)};
  }
  int dir = ::open(m_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {true, file, {}};
}

std::function<BackupResult(const std::vector<std::string>&)> undoFileBackup(
    const registry::Machine& machine) {
  const registry::Store* store = machine.store.get();
  std::string root = machine.registryRoot;
  std::filesystem::path directory = machine.driveC;
  return [store, root, directory](const std::vector<std::string>& paths) {
    return UndoFile(*store, root, directory).write(paths, std::time(nullptr));
  };
}

}  // namespace comsweep::removal
