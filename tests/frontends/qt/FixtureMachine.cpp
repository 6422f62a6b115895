#include "FixtureMachine.h"

#include "support/Fixture.h"

namespace comsweep::test {

std::unique_ptr<registry::Machine> makeFixtureMachine(const std::filesystem::path& driveC) {
  auto machine = std::make_unique<registry::Machine>();
  // The interface and class scans pass over each key's first subkey.
  machine->store = makeStore({
      {"TypeLib\\{A1000000-0000-0000-0000-000000000001}\\1.0\\0\\win32", "C:\\Program Files\\Sonnet\\m9qtypes.tlb"},
      {"TypeLib\\{A9000000-0000-0000-0000-000000000001}\\1.0\\0\\win32", "C:\\Windows\\System32\\stdole2.tlb"},
      {"Interface\\{00000000-0000-0000-0000-000000000000}\\TypeLib", "{A1000000-0000-0000-0000-000000000001}"},
      {"Interface\\{B2000000-0000-0000-0000-000000000001}\\TypeLib", "{A1000000-0000-0000-0000-000000000001}"},
      {"Interface\\{B9000000-0000-0000-0000-000000000001}\\TypeLib", "{A9000000-0000-0000-0000-000000000001}"},
      {"CLSID\\{00000000-0000-0000-0000-000000000000}", "m9q never examined"},
      {"CLSID\\{C3000000-0000-0000-0000-000000000001}", "Grid Control"},
      {"CLSID\\{C3000000-0000-0000-0000-000000000001}\\InprocServer32", "C:\\Program Files\\Sonnet\\m9qgrid.ocx"},
      {"CLSID\\{C3000000-0000-0000-0000-000000000002}", "Calc Class"},
      {"CLSID\\{C3000000-0000-0000-0000-000000000002}\\InprocServer32", "C:\\Program Files\\Cadence\\w9qcalc.dll"},
      {"CLSID\\{C9000000-0000-0000-0000-000000000001}\\InprocServer32", "C:\\Windows\\System32\\other.dll"},
      {"m9q.alpha\\CLSID", "{C3000000-0000-0000-0000-000000000001}"},
      {"M9Q.Beta", std::nullopt},
      {"W9q.Calc\\CurVer", "W9q.Calc.1"},
      {"Paint.Picture", "Bitmap Image"},
  });
  machine->driveC = driveC;
  machine->kind = "test machine";
  machine->path = driveC / "registry";
  return machine;
}

}  // namespace comsweep::test
