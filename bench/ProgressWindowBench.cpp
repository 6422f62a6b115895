// What the progress window costs a scan: the four scans over a registry of a
// million keys, without progress (an unattended run), with the progress
// form only, and with the form shown in the window. Run it with a display
// or QT_QPA_PLATFORM=offscreen:
//   build/bench/comsweep_progress_bench [keys]

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "families/PatternList.h"
#include "registry/handles/HandleTable.h"
#include "registry/store/Text.h"
#include "registry/memory/MemoryStore.h"
#include "scan/Scanner.h"
#include "forms/ProgressState.h"
#include "frontends/qt/ProgressWindow.h"

namespace {

using namespace comsweep;

// Half the keys are classes with a server path, half names at the root;
// one in a thousand belongs to the family looked for.
void fill(registry::MemoryStore& store, int keys) {
  char name[64];
  for (int i = 0; i < keys / 2; ++i) {
    std::snprintf(name, sizeof name, "CLSID\\{%08X-0000-4000-8000-000000000000}", i);
    registry::NodeId node = store.addPath(name);
    std::string server = i % 1000 == 0 ? "C:\\x\\m9qpart.dll" : "C:\\Windows\\System32\\shell32.dll";
    store.setDefaultValue(node, {registry::REG_SZ, registry::utf8ToUtf16le(server) + std::string(2, '\0')});
  }
  for (int i = 0; i < keys / 2; ++i) {
    std::snprintf(name, sizeof name, i % 1000 == 0 ? "m9q.Part%07d" : "Vendor.Thing%07d", i);
    store.addPath(name);
  }
}

class FormOnly : public scan::ProgressSink {
 public:
  void progressStep(std::string_view label, const std::string& name, std::int32_t found) override {
    form.update(label, name, found);
  }
  forms::ProgressState form;
};

class FormAndWindow : public FormOnly {
 public:
  void progressStep(std::string_view label, const std::string& name, std::int32_t found) override {
    form.update(label, name, found);
    window.refresh(form);
  }
  qt::ProgressWindow window;
};

double scanSeconds(registry::MemoryStore& store, scan::ProgressSink* sink) {
  registry::HandleTable api(store);
  families::Selection selection;
  selection[families::Box::m9q] = 1;
  const families::PatternList patterns = families::buildPatternList(selection);
  QElapsedTimer timer;
  timer.start();
  scan::scanRegistry(api, registry::HKEY_CLASSES_ROOT, patterns, sink);
  return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int keys = argc > 1 ? std::atoi(argv[1]) : 1000000;
  registry::MemoryStore store;
  fill(store, keys);

  FormOnly formOnly;
  FormAndWindow withWindow;
  withWindow.form.reset();
  withWindow.window.showFor(withWindow.form);

  double best[3] = {1e9, 1e9, 1e9};
  for (int round = 0; round < 3; ++round) {
    best[0] = std::min(best[0], scanSeconds(store, nullptr));
    best[1] = std::min(best[1], scanSeconds(store, &formOnly));
    best[2] = std::min(best[2], scanSeconds(store, &withWindow));
  }
  std::printf("%d keys, best of 3 scans\n", keys);
  std::printf("  no progress (unattended):  %.3f s\n", best[0]);
  std::printf("  progress form only:        %.3f s\n", best[1]);
  std::printf("  progress form and window:  %.3f s  (window %+.1f %% over the form, %+.1f %% over none)\n",
              best[2], 100.0 * (best[2] - best[1]) / best[1], 100.0 * (best[2] - best[0]) / best[0]);
  return 0;
}
