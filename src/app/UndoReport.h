#pragma once
// The JSON document of "--undo --json" (docs/json-output.md, "Undo"; its
// schema is docs/json-schema-undo.json): one line on standard output.

#include <string>
#include <vector>

namespace comsweep::app {

struct UndoReportKey {
  std::string path;    // as the backup names it
  std::string result;  // "put back", "would put back", "already there", "left", "below left", "not put back"
  std::string reason;  // why it was left or not put back; empty otherwise
};

struct UndoDocument {
  bool listing = false;
  std::string machineKind;  // empty: the machine could not be opened
  std::string machinePath;
  std::string backup;       // empty: none was found
  std::vector<UndoReportKey> keys;
  std::string log;          // empty: none was written
  std::string error;        // why nothing was put back; empty otherwise
  int exitStatus = 0;
};

// The document as one line of JSON followed by a line end.
std::string undoJsonDocument(const UndoDocument& document);

}  // namespace comsweep::app
