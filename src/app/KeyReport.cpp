#include "app/KeyReport.h"

#include <algorithm>
#include <cstdio>

#include "families/Families.h"
#include "registry/store/Text.h"
#include "machine/HiveMachine.h"
#include "scan/Scanner.h"
#include "scan/UserClassesScan.h"

namespace comsweep::app {
namespace {

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         registry::compareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// The file a store's keys are kept in, from the machine's kind.
std::string fileOf(const registry::Machine& machine, const registry::Machine::Layer& layer, bool user) {
  if (!layer.file.empty()) return layer.file;
  if (machine.kind == "Wine prefix") return (machine.path / (user ? "user.reg" : "system.reg")).string();
  if (machine.kind == "Windows drive") return registry::findWindowsSoftwareHive(machine.path).string();
  if (machine.api) return {};  // the live registry
  return machine.path.string();
}

// Appends `text` as a JSON string.
void appendJson(std::string& out, const std::string& text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // The length of a well-formed UTF-8 sequence starting here, 0 if none.
    std::size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                       : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      bool ok = (next & 0xC0) == 0x80;
      if (k == 1 && c == 0xE0) ok = ok && next >= 0xA0;  // overlong
      if (k == 1 && c == 0xED) ok = ok && next < 0xA0;   // surrogate
      if (k == 1 && c == 0xF0) ok = ok && next >= 0x90;  // overlong
      if (k == 1 && c == 0xF4) ok = ok && next < 0x90;   // past U+10FFFF
      if (!ok) length = 0;
    }
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  out += '"';
}

void appendJsonOrNull(std::string& out, const std::string& text) {
  if (text.empty()) out += "null";
  else appendJson(out, text);
}

std::string plainField(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out;
  appendJson(out, text);
  return out;
}

void notePlaces(const registry::Machine& machine, const std::vector<std::string>& paths,
                KeyPlaces& places) {
  std::vector<registry::Machine::Layer> layers = machine.layers;
  if (layers.empty()) layers.push_back({machine.store.get(), machine.registryRoot});
  for (const std::string& path : paths) {
    std::vector<KeyPlace>& found = places[path];
    found.clear();
    for (std::size_t l = 0; l < layers.size(); ++l) {
      const registry::Machine::Layer& layer = layers[l];
      const registry::Store& store = *layer.store;
      registry::NodeId node = store.root();
      std::string_view rest;
      if (!registry::layerAnswers(layers, l, path, rest)) continue;
      while (node != registry::kNoNode && !rest.empty()) {
        std::size_t cut = rest.find('\\');
        node = store.findChild(node, rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      }
      if (node == registry::kNoNode || node == store.root()) continue;
      const bool user = layer.namedInFull || startsWithNoCase(layer.registryRoot, "HKEY_CURRENT_USER");
      found.push_back({layer.registryRoot, fileOf(machine, layer, user), user});
    }
  }
}

std::vector<ReportedKey> reportedKeys(const scan::FoundKeyList& keys, std::int32_t listed,
                                      const KeyPlaces& places,
                                      const removal::RemovalReport* removal) {
  std::vector<ReportedKey> reported;
  const std::size_t last = std::min(keys.count(), static_cast<std::size_t>(std::max(listed, 0)));
  const std::string wow64 = std::string(scan::kWow64Key) + "\\";
  for (std::size_t i = 1; i <= last; ++i) {
    const scan::FoundKey& item = keys.item(i);
    ReportedKey key{item.category, scan::registryPath(item.path),
                    startsWithNoCase(std::string(scan::pathInView(item.path)), wow64), item.foundValue, {}, "listed", {}};
    if (auto at = places.find(item.path); at != places.end()) key.places = at->second;
    if (removal && item.kept) key.result = "kept";
    reported.push_back(std::move(key));
  }
  if (!removal) return reported;
  for (const removal::KeyFate& fate : removal->keys) {
    if (fate.position == 0 || fate.position > reported.size()) continue;
    ReportedKey& key = reported[fate.position - 1];
    key.result = "not removed";
    if (fate.status == 0)
      key.result = "removed";
    else if (fate.status == removal::kNotSaved)
      key.reason = "the registry could not be saved: " + removal->save.why;
    else if (fate.status == removal::kBackupFailed)
      key.reason = "the backup of the keys could not be written: " + removal->backup.why;
    else if (fate.status == removal::kNotInBackup)
      key.reason = "kept out of the backup: " + fate.whyKept;
    else
      key.reason = registry::statusMessage(fate.status) + "(" + std::to_string(fate.status) + ")";
  }
  return reported;
}

std::string listingLine(const ReportedKey& key) {
  std::string where;
  for (const KeyPlace& place : key.places) {
    const char* word = place.user ? "user" : "machine";
    if (where.find(word) == std::string::npos) where += (where.empty() ? "" : ",") + std::string(word);
  }
  return plainField(key.category) + "\t" + plainField(key.path) + "\t" + plainField(key.foundValue) +
         "\t" + where;
}

std::vector<std::string> chosenSwitches(const families::Selection& selection) {
  std::vector<std::string> switches;
  for (const families::Family& family : families::kFamilies) {
    if (selection[family.ownBox]) switches.push_back(family.ownSwitch);
    if (selection[family.plusBox]) switches.push_back(family.plusSwitch);
  }
  return switches;
}

std::string jsonDocument(const ReportDocument& d) {
  std::string out = "{\"format\":1,\"mode\":";
  out += d.listing ? "\"list\"" : "\"run\"";
  out += ",\"machine\":{\"kind\":";
  appendJsonOrNull(out, d.machineKind);
  out += ",\"path\":";
  appendJson(out, d.machinePath);
  out += "},\"families\":[";
  for (std::size_t i = 0; i < d.families.size(); ++i) {
    if (i) out += ',';
    appendJson(out, d.families[i]);
  }
  out += "],\"keys\":[";
  std::int32_t kept = 0;
  for (std::size_t i = 0; i < d.keys.size(); ++i) {
    const ReportedKey& key = d.keys[i];
    if (key.result == "kept") ++kept;
    out += i ? ",{" : "{";
    out += "\"category\":";
    appendJson(out, key.category);
    out += ",\"path\":";
    appendJson(out, key.path);
    out += ",\"view\":";
    out += key.wow64 ? "\"32-bit\"" : "\"native\"";
    out += ",\"foundValue\":";
    appendJson(out, key.foundValue);
    out += ",\"heldIn\":[";
    for (std::size_t p = 0; p < key.places.size(); ++p) {
      out += p ? ",{\"root\":" : "{\"root\":";
      appendJson(out, key.places[p].root);
      out += ",\"file\":";
      appendJsonOrNull(out, key.places[p].file);
      out += key.places[p].user ? ",\"user\":true}" : ",\"user\":false}";
    }
    out += "],\"result\":";
    appendJson(out, key.result);
    if (!key.reason.empty()) {
      out += ",\"reason\":";
      appendJson(out, key.reason);
    }
    out += '}';
  }
  out += "],\"counts\":{\"found\":" + std::to_string(d.keys.size()) +
         ",\"removed\":" + std::to_string(d.removed) +
         ",\"notRemoved\":" + std::to_string(d.notRemoved) + ",\"kept\":" + std::to_string(kept) +
         "},\"backup\":";
  appendJsonOrNull(out, d.backup);
  out += ",\"log\":";
  appendJsonOrNull(out, d.log);
  out += ",\"error\":";
  appendJsonOrNull(out, d.error);
  out += ",\"exitStatus\":" + std::to_string(d.exitStatus) + "}\n";
  return out;
}

}  // namespace comsweep::app
