// The Qt tests: one executable running each test class in turn.

#include <QApplication>

namespace comsweep::test {
int runInteractiveRunTest(int argc, char** argv);
int runWindowLookTest(int argc, char** argv);
}  // namespace comsweep::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  using namespace comsweep::test;
  int failed = 0;
  for (auto run : {runInteractiveRunTest, runWindowLookTest})
    failed += run(argc, argv) != 0;
  return failed == 0 ? 0 : 1;
}
