#include "FixtureMachine.h"

#include "registry/Text.h"

namespace comsweep::test {
namespace {

void setString(registry::MemoryStore& store, registry::NodeId node, const std::string& text) {
  store.setDefaultValue(node, {registry::REG_SZ, registry::utf8ToUtf16le(text) + std::string(2, '\0')});
}

void addKey(registry::MemoryStore& store, const std::string& path, const std::string& value = "") {
  registry::NodeId node = store.addPath(path);
  if (!value.empty()) setString(store, node, value);
}

}  // namespace

const std::vector<FixtureKey> kFoundKeys = {
    {"{A1000000-0000-0000-0000-000000000001}", "m9qtypes.tlb",
     "TypeLib\\{A1000000-0000-0000-0000-000000000001}"},
    {"{B2000000-0000-0000-0000-000000000001}", "m9qtypes.tlb",
     "Interface\\{B2000000-0000-0000-0000-000000000001}"},
    {"{C3000000-0000-0000-0000-000000000001}", "m9qgrid.ocx",
     "CLSID\\{C3000000-0000-0000-0000-000000000001}"},
    {"{C3000000-0000-0000-0000-000000000002}", "w9qcalc.dll",
     "CLSID\\{C3000000-0000-0000-0000-000000000002}"},
    {"m9q.alpha", "m9q.alpha", "m9q.alpha"},
    {"M9Q.Beta", "M9Q.Beta", "M9Q.Beta"},
    {"W9q.Calc", "W9q.Calc", "W9q.Calc"},
};

std::unique_ptr<registry::Machine> makeFixtureMachine(const std::filesystem::path& driveC) {
  auto store = std::make_unique<registry::MemoryStore>();
  registry::MemoryStore& s = *store;
  addKey(s, "TypeLib\\{A1000000-0000-0000-0000-000000000001}\\1.0\\0\\win32",
         "C:\\Program Files\\Sonnet\\m9qtypes.tlb");
  addKey(s, "TypeLib\\{A9000000-0000-0000-0000-000000000001}\\1.0\\0\\win32",
         "C:\\Windows\\System32\\stdole2.tlb");
  // The interface and class scans pass over each key's first subkey.
  addKey(s, "Interface\\{00000000-0000-0000-0000-000000000000}\\TypeLib",
         "{A1000000-0000-0000-0000-000000000001}");
  addKey(s, "Interface\\{B2000000-0000-0000-0000-000000000001}\\TypeLib",
         "{A1000000-0000-0000-0000-000000000001}");
  addKey(s, "Interface\\{B9000000-0000-0000-0000-000000000001}\\TypeLib",
         "{A9000000-0000-0000-0000-000000000001}");
  addKey(s, "CLSID\\{00000000-0000-0000-0000-000000000000}", "m9q never examined");
  addKey(s, "CLSID\\{C3000000-0000-0000-0000-000000000001}", "Grid Control");
  addKey(s, "CLSID\\{C3000000-0000-0000-0000-000000000001}\\InprocServer32",
         "C:\\Program Files\\Sonnet\\m9qgrid.ocx");
  addKey(s, "CLSID\\{C3000000-0000-0000-0000-000000000002}", "Calc Class");
  addKey(s, "CLSID\\{C3000000-0000-0000-0000-000000000002}\\InprocServer32",
         "C:\\Program Files\\Cadence\\w9qcalc.dll");
  addKey(s, "CLSID\\{C9000000-0000-0000-0000-000000000001}\\InprocServer32",
         "C:\\Windows\\System32\\other.dll");
  addKey(s, "m9q.alpha\\CLSID", "{C3000000-0000-0000-0000-000000000001}");
  addKey(s, "M9Q.Beta");
  addKey(s, "W9q.Calc\\CurVer", "W9q.Calc.1");
  addKey(s, "Paint.Picture", "Bitmap Image");

  auto machine = std::make_unique<registry::Machine>();
  machine->store = std::move(store);
  machine->driveC = driveC;
  machine->kind = "test machine";
  machine->path = driveC / "registry";
  return machine;
}

bool hasKey(const registry::Store& store, const std::string& path) {
  registry::NodeId node = store.root();
  std::size_t start = 0;
  while (node != registry::kNoNode && start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    node = store.findChild(node, std::string_view(path).substr(start, end - start));
    start = end + 1;
  }
  return node != registry::kNoNode;
}

}  // namespace comsweep::test
