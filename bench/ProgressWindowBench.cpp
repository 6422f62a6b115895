// What the progress window costs a scan: the four scans over a registry of a
// million keys, without progress (an unattended run), with the progress
// form only, and with the form shown in the window. Run it with a display
// or QT_QPA_PLATFORM=offscreen:
//   build/bench/comsweep_progress_bench [keys] [rounds]
// The three kinds of scan take turns, and each reports the best of its
// rounds twice: as time passed and as processor time of the scanning thread
// (on a busy machine the first varies with the other programs; painting
// through a display server's own process is seen only in the first).

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// Processor time of this thread: Qt's own threads (the display
// connection's reader) are not the scan's.
double threadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Cost {
  double wall = 1e9, processor = 1e9;
};

void timeScan(registry::MemoryStore& store, scan::ProgressSink* sink, Cost& best) {
  registry::HandleTable api(store);
  families::Selection selection;
  selection[families::Box::m9q] = 1;
  const families::PatternList patterns = families::buildPatternList(selection);
  QElapsedTimer timer;
  timer.start();
  const double started = threadSeconds();
  scan::scanRegistry(api, registry::HKEY_CLASSES_ROOT, patterns, sink);
  best.processor = std::min(best.processor, threadSeconds() - started);
  best.wall = std::min(best.wall, timer.nsecsElapsed() / 1e9);
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

  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  Cost none, form, window;
  for (int round = 0; round < rounds; ++round) {
    timeScan(store, nullptr, none);
    timeScan(store, &formOnly, form);
    timeScan(store, &withWindow, window);
  }
  std::printf("%d keys, best of %d scans (time passed / processor time)\n", keys, rounds);
  std::printf("  no progress (unattended):  %.3f s / %.3f s\n", none.wall, none.processor);
  std::printf("  progress form only:        %.3f s / %.3f s\n", form.wall, form.processor);
  std::printf("  progress form and window:  %.3f s / %.3f s\n", window.wall, window.processor);
  std::printf("  window over none:          %+.1f %% / %+.1f %%  (over the form alone: %+.1f %% / %+.1f %%)\n",
              100.0 * (window.wall - none.wall) / none.wall,
              100.0 * (window.processor - none.processor) / none.processor,
              100.0 * (window.wall - form.wall) / form.wall,
              100.0 * (window.processor - form.processor) / form.processor);
  return 0;
}
