// From a file chosen to the frame on the screen: the main window (shown,
// offscreen platform unless QT_QPA_PLATFORM says otherwise) opens FILE as
// its open command does, and the time runs until the new window's picture
// has been painted for the first time. Each run opens the file in a fresh
// window and closes it again; prints every run and the median in ms.
//
//   build/bench/open_paint_bench FILE [RUNS]
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"

namespace {

// Notes the first paint event of any ImageView.
class PaintWatch : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && qobject_cast<ImageView*>(watched)) painted = true;
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: open_paint_bench FILE [RUNS]\n");
    return 2;
  }
  const QString path = QString::fromLocal8Bit(argv[1]);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  CreateForms();
  MainForm->resize(1280, 900);
  MainForm->show();
  QApplication::processEvents();
  PaintWatch watch;
  app.installEventFilter(&watch);
  auto* area = MainForm->findChild<QMdiArea*>();
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    watch.painted = false;
    QElapsedTimer timer;
    timer.start();
    MainForm->OpenFiles({path});
    while (!watch.painted && timer.elapsed() < 10000) QApplication::processEvents();
    // The paint event has been handled when processEvents returns.
    const double ms = timer.nsecsElapsed() / 1e6;
    times.push_back(ms);
    std::printf("run %d: %.1f ms%s\n", run + 1, ms, watch.painted ? "" : " (no paint seen)");
    if (area) area->closeAllSubWindows();
    QApplication::processEvents();
  }
  std::sort(times.begin(), times.end());
  std::printf("median %.1f ms, min %.1f ms, max %.1f ms over %d runs\n", times[times.size() / 2], times.front(),
              times.back(), runs);
  DestroyForms();
  return 0;
}
