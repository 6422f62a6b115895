#include "removal/UndoFile.h"

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "platform/LocalTime.h"
#include "platform/SignalCleanup.h"
#include "registry/Text.h"
#include "registry/regfile/RegFileWriter.h"

namespace comsweep::removal {
namespace {

using registry::NodeId;

// A .reg file has no way to write a line break inside a key line or a value
// name, and a NUL would end a value name early; an importer would put the
// key's values elsewhere. Empty when `name` is fine, else why not.
std::string unwritable(std::string_view what, std::string_view name, bool valueName) {
  std::string_view bad = valueName ? std::string_view("\r\n\0", 3) : "\r\n";
  if (name.find_first_of(bad) == std::string_view::npos) return {};
  std::string shown;
  for (char c : name) {
    if (c == '\r') shown += "\\r";
    else if (c == '\n') shown += "\\n";
    else if (c == '\0') shown += "\\0";
    else shown += c;
  }
  return std::string(what) + " \"" + shown + "\" holds a line break or NUL, which the backup cannot hold";
}

std::string timestamp(std::time_t now) {
  std::tm local{};
  platform::localTime(now, local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

bool UndoFile::appendKey(const registry::Machine::Layer& layer, std::string& out, NodeId node,
                         const std::string& path, bool& complete, std::string& why) const {
  const registry::Store& store = *layer.store;
  why = unwritable("the key name", store.name(node), false);
  if (!why.empty()) return false;
  out += "\n[" + layer.registryRoot + "\\" + path + "]\n";
  std::vector<registry::NamedValue> values;
  if (!store.values(node, values)) complete = false;
  for (const auto& value : values) {
    why = unwritable("the value name", value.name, true);
    if (!why.empty()) return false;
    out += registry::regFileValueLine(value) + "\n";
  }
  for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
    NodeId child = store.childAt(node, i);
    if (!appendKey(layer, out, child, path + "\\" + std::string(store.name(child)), complete, why))
      return false;
  }
  return true;
}

std::string UndoFile::text(const std::vector<std::string>& paths, bool& complete,
                           std::vector<std::pair<std::size_t, std::string>>* refused) const {
  complete = true;
  std::string out = "Windows Registry Editor Version 5.00\n";
  std::string key, why;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const std::string& path = paths[p];
    key.clear();
    bool written = true;
    for (const registry::Machine::Layer& layer : m_layers) {
      const registry::Store& store = *layer.store;
      NodeId node = store.root();
      std::string_view rest = path;
      while (node != registry::kNoNode && !rest.empty()) {
        std::size_t cut = rest.find('\\');
        node = store.findChild(node, rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      }
      if (node == registry::kNoNode || node == store.root()) continue;
      if (!appendKey(layer, key, node, path, complete, why)) {
        written = false;
        break;
      }
    }
    if (written) {
      out += key;
    } else if (refused) {
      refused->emplace_back(p, why);
    }
  }
  return out + "\n";
}

BackupResult UndoFile::write(const std::vector<std::string>& paths, std::time_t now) const {
  bool complete = true;
  BackupResult result;
  std::string text = this->text(paths, complete, &result.refused);
  if (!complete) return {false, {}, "the values of a key could not be read", {}};
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
  platform::SignalsHeld held;  // until the file is registered for removal
  for (int n = 1; fd < 0 && n < 1000; ++n) {
    std::string name = stem;
    if (n > 1) name.append("-").append(std::to_string(n));
    name.append(".reg");
    file = m_directory / name;
    // Never over an existing file, never through a link.
    fd = platform::createNewFile(file, 0600);
    if (fd < 0 && errno != EEXIST) return {false, {}, file.string() + ": " + std::strerror(errno), {}};
  }
  if (fd < 0) return {false, {}, file.string() + ": " + std::strerror(EEXIST), {}};
  platform::RemoveOnSignal removeOnSignal(file);
  held.release();
  platform::takeOwnerOfDirectory(fd, m_directory);
  int err = 0;
  if (!platform::writeAll(fd, bytes)) err = errno;
  if (err == 0 && !platform::flushFile(fd)) err = errno;
  if (platform::FileDescriptor(fd).reset() != 0 && err == 0) err = errno;
  if (err != 0) {
    platform::removeFile(file);
    return {false, {}, file.string() + ": " + std::strerror(err), {}};
  }
  platform::syncDirectory(m_directory);
  result.file = file;
  return result;
}

std::function<BackupResult(const std::vector<std::string>&)> undoFileBackup(
    const registry::Machine& machine) {
  // The layers are read when the backup is written: a run on a live registry
  // may have connected to another machine since.
  return [&machine](const std::vector<std::string>& paths) {
    std::vector<registry::Machine::Layer> layers = machine.layers;
    if (layers.empty()) layers.push_back({machine.store.get(), machine.registryRoot});
    return UndoFile(layers, machine.driveC).write(paths, std::time(nullptr));
  };
}

}  // namespace comsweep::removal
