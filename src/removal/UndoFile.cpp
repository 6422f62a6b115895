#include "removal/UndoFile.h"

#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/LocalTime.h"
#include "registry/store/KeyLimits.h"
#include "registry/store/Text.h"
#include "registry/regfile/RegFileWriter.h"
#include "removal/RegTextOutput.h"

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

// Writes the keys of one backup. Every key named is checked whole before any
// of it is written, so that one left out leaves nothing behind in the file.
class KeyWriter {
 public:
  enum class Outcome { Written, Refused, Unreadable };

  KeyWriter(RegTextOutput& out, bool asciiTextOnly) : m_out(out), m_asciiTextOnly(asciiTextOnly) {}

  // The key at `path` (and its subtree) from every layer that holds it.
  // Refused: `why` says which name the file cannot hold. Unreadable: `why`
  // is the path of the key whose values could not be read.
  Outcome writePath(const std::vector<registry::Machine::Layer>& layers, std::string_view path,
                    std::string& why) {
    m_found.clear();
    for (std::size_t l = 0; l < layers.size(); ++l) {
      const registry::Machine::Layer& layer = layers[l];
      const registry::Store& store = *layer.store;
      NodeId node = store.root();
      // The path as this store spells each level of it.
      std::string spelled = layer.registryRoot;
      std::string_view rest;
      if (!registry::layerAnswers(layers, l, path, rest)) continue;
      while (node != registry::kNoNode && !rest.empty()) {
        std::size_t cut = rest.find('\\');
        node = store.findChild(node, rest.substr(0, cut));
        if (node == registry::kNoNode) break;
        std::string_view name = store.name(node);
        why = unwritable("the key name", name, false);
        if (!why.empty()) return Outcome::Refused;
        spelled.append("\\").append(name);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      }
      if (node == registry::kNoNode || node == store.root()) continue;
      m_found.push_back({&store, node, std::move(spelled)});
    }
    for (Found& found : m_found) {
      m_path = found.path;
      if (Outcome o = check(*found.store, found.node, why); o != Outcome::Written) return o;
    }
    for (Found& found : m_found) {
      m_path = found.path;
      if (!emit(*found.store, found.node)) {
        why = m_path;
        return Outcome::Unreadable;
      }
    }
    return Outcome::Written;
  }

 private:
  struct Found {
    const registry::Store* store;
    NodeId node;
    std::string path;
  };

  // Keys are visited with m_path naming them as the file does; a child
  // appends its name and takes it off again, so one path is held at a time.
  Outcome check(const registry::Store& store, NodeId node, std::string& why) {
    m_values.clear();
    if (!store.values(node, m_values)) {
      why = m_path;
      return Outcome::Unreadable;
    }
    for (const auto& value : m_values) {
      why = unwritable("the value name", value.name, true);
      if (!why.empty()) return Outcome::Refused;
    }
    for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
      NodeId child = store.childAt(node, i);
      std::string_view name = store.name(child);
      why = unwritable("the key name", name, false);
      if (!why.empty()) return Outcome::Refused;
      const std::size_t length = m_path.size();
      m_path.append("\\").append(name);
      Outcome o = check(store, child, why);
      m_path.resize(length);
      if (o != Outcome::Written) return o;
    }
    return Outcome::Written;
  }

  bool emit(const registry::Store& store, NodeId node) {
    m_out.put("\n[");
    m_out.put(m_path);
    m_out.put("]\n");
    m_values.clear();
    if (!store.values(node, m_values)) return false;
    for (const auto& value : m_values) {
      m_out.put(registry::regFileValueLine(value, m_asciiTextOnly));
      m_out.put("\n");
    }
    for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
      NodeId child = store.childAt(node, i);
      const std::size_t length = m_path.size();
      m_path.append("\\").append(store.name(child));
      const bool ok = emit(store, child);
      if (ok) m_path.resize(length);
      if (!ok) return false;
    }
    return true;
  }

  RegTextOutput& m_out;
  bool m_asciiTextOnly;
  std::vector<Found> m_found;
  std::string m_path;
  std::vector<registry::NamedValue> m_values;
};

// Writes the whole file to `out`; false, with `unreadable` naming the key,
// when the values of a key could not be read.
bool writeKeys(RegTextOutput& out, const std::vector<registry::Machine::Layer>& layers, bool asciiTextOnly,
               const std::vector<std::string>& paths, std::vector<std::pair<std::size_t, std::string>>* refused,
               std::string& unreadable) {
  out.put("Windows Registry Editor Version 5.00\n");
  KeyWriter writer(out, asciiTextOnly);
  std::string why;
  // After a failed write the rest is not produced: the file is given up.
  for (std::size_t p = 0; p < paths.size() && out.error() == 0; ++p) {
    switch (writer.writePath(layers, paths[p], why)) {
      case KeyWriter::Outcome::Written:
        break;
      case KeyWriter::Outcome::Refused:
        if (refused) refused->emplace_back(p, why);
        break;
      case KeyWriter::Outcome::Unreadable:
        unreadable = why;
        return false;
    }
  }
  out.put("\n");
  return true;
}

}  // namespace

std::string UndoFile::text(const std::vector<std::string>& paths, bool& complete,
                           std::vector<std::pair<std::size_t, std::string>>* refused,
                           std::string* unreadable) const {
  std::string text, key;
  RegTextOutput out(text);
  complete = writeKeys(out, m_layers, m_asciiTextOnly, paths, refused, key);
  if (unreadable) *unreadable = key;
  return text;
}

BackupResult UndoFile::write(const std::vector<std::string>& paths, std::time_t now) const {
  BackupResult result;
  const std::string stem = "9QReg-" + timestamp(now);
  auto named = [&](int n) {
    std::string name = stem;
    if (n > 1) name.append("-").append(std::to_string(n));
    return m_directory / name.append(".reg");
  };
  std::unique_ptr<platform::PreparedFile> file = platform::PreparedFile::begin(named(1), 0600);
  if (!file) {
    const int e = errno;
    return BackupResult::failed(named(1).string() + ": " + std::strerror(e));
  }
  platform::takeOwnerOfDirectory(file->descriptor(), m_directory);
  std::string unreadable;
  RegTextOutput out(file->descriptor());
  const bool complete = writeKeys(out, m_layers, m_asciiTextOnly, paths, &result.refused, unreadable);
  int err = 0;
  if (!out.flush()) err = out.error();
  if (complete && err == 0 && !file->sync()) err = errno;
  if (!file->close() && err == 0) err = errno;
  if (!complete)
    return BackupResult::failed("the values of the key " + registry::shortenedPath(unreadable) + " could not be read");
  if (err != 0) return BackupResult::failed(named(1).string() + ": " + std::strerror(err));
  // Put in place under the first free name: never over another file, never
  // through a link planted at the name.
  for (int n = 1; n < 1000; ++n) {
    if (file->placeAsNew(named(n))) {
      result.file = named(n);
      return result;
    }
    if (const int e = errno; e != EEXIST) return BackupResult::failed(named(n).string() + ": " + std::strerror(e));
  }
  return BackupResult::failed(named(999).string() + ": " + std::strerror(EEXIST));
}

std::function<BackupResult(const std::vector<std::string>&)> undoFileBackup(
    const registry::Machine& machine) {
  // The layers are read when the backup is written: a run on a live registry
  // may have connected to another machine since.
  return [&machine](const std::vector<std::string>& paths) {
    std::vector<registry::Machine::Layer> layers = machine.layers;
    if (layers.empty()) layers.push_back({machine.store.get(), machine.registryRoot});
    UndoFile undo(layers, machine.driveC);
    undo.setAsciiTextOnly(machine.backupTextAsciiOnly);
    return undo.write(paths, std::time(nullptr));
  };
}

}  // namespace comsweep::removal
