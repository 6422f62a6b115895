#pragma once
// What a listing or a run tells of each found key: the listing's lines and
// the JSON document that docs/json-schema.json describes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "families/Selection.h"
#include "machine/Machine.h"
#include "removal/KeyRemoval.h"
#include "scan/FoundKeyList.h"

namespace comsweep::app {

// One store of HKEY_CLASSES_ROOT that holds a copy of a key.
struct KeyPlace {
  std::string root;  // its root as a .reg file names it
  std::string file;  // the file or hive it is kept in; empty for a live registry
  bool user = false; // the user's classes rather than the machine's
};
// By the path the run lists the key by (FoundKey::path).
using KeyPlaces = std::map<std::string, std::vector<KeyPlace>>;

// Notes where each key at `paths` lives on `machine`, as it is now (so before
// anything is removed).
void notePlaces(const registry::Machine& machine, const std::vector<std::string>& paths,
                KeyPlaces& places);

struct ReportedKey {
  std::string category;    // "TYPELIB", "INTERFACE", "CLSID", "PROGID"
  std::string path;        // "HKEY_CLASSES_ROOT\...", a user's own "HKEY_USERS\<name>_Classes\..."
  bool wow64 = false;      // in the 32-bit view (below Wow6432Node)
  std::string foundValue;
  std::vector<KeyPlace> places;
  std::string result;      // "listed", "removed", "kept", "not removed"
  std::string reason;      // for "not removed"
};

// The first `listed` entries of `keys`; `removal`, after a run, says what
// became of each, else every entry is "listed".
std::vector<ReportedKey> reportedKeys(const scan::FoundKeyList& keys, std::int32_t listed,
                                      const KeyPlaces& places,
                                      const removal::RemovalReport* removal);

// One line of a listing, tab-separated: category, path, found value, and
// where the key lives ("machine", "user" or "machine,user"). Control
// characters show as "?", so that a line is always one line of four fields.
std::string listingLine(const ReportedKey& key);

struct ReportDocument {
  bool listing = false;
  std::string machineKind;  // empty when the machine was not opened
  std::string machinePath;
  std::vector<std::string> families;  // the switches of the ticked boxes
  std::vector<ReportedKey> keys;
  std::int32_t removed = 0, notRemoved = 0;
  std::string backup, log;  // empty: none written
  std::string error;        // why the machine could not be read or saved
  int exitStatus = 0;
};

// The switches of the ticked family boxes, in family order.
std::vector<std::string> chosenSwitches(const families::Selection& selection);

// The document as one line of JSON followed by a line end. Text that is not
// valid UTF-8 has its stray bytes replaced by U+FFFD.
std::string jsonDocument(const ReportDocument& document);
// `text` as a JSON string, stray bytes replaced as above.
std::string jsonString(const std::string& text);

}  // namespace comsweep::app
