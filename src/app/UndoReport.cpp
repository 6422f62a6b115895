#include "app/UndoReport.h"

#include "app/KeyReport.h"

namespace comsweep::app {
namespace {

std::string stringOrNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

}  // namespace

std::string undoJsonDocument(const UndoDocument& d) {
  std::size_t putBack = 0, there = 0;
  std::string keys;
  for (const UndoReportKey& key : d.keys) {
    putBack += key.result == "put back" || key.result == "would put back";
    there += key.result == "already there";
    keys += keys.empty() ? "" : ",";
    keys += "{\"path\":" + jsonString(key.path) + ",\"result\":" + jsonString(key.result);
    if (!key.reason.empty()) keys += ",\"reason\":" + jsonString(key.reason);
    keys += "}";
  }
  std::string out = "{\"format\":1,\"mode\":\"" + std::string(d.listing ? "undo-list" : "undo") + "\"";
  out += ",\"machine\":{\"kind\":" + stringOrNull(d.machineKind) + ",\"path\":" + jsonString(d.machinePath) + "}";
  out += ",\"backup\":" + stringOrNull(d.backup);
  out += ",\"keys\":[" + keys + "]";
  out += ",\"counts\":{\"keys\":" + std::to_string(d.keys.size()) + ",\"putBack\":" + std::to_string(putBack) +
         ",\"alreadyThere\":" + std::to_string(there) + ",\"left\":" + std::to_string(d.keys.size() - putBack - there) + "}";
  out += ",\"log\":" + stringOrNull(d.log) + ",\"error\":" + stringOrNull(d.error);
  out += ",\"exitStatus\":" + std::to_string(d.exitStatus) + "}\n";
  return out;
}

}  // namespace comsweep::app
