// SPDX-License-Identifier: GPL-3.0-or-later
// From a file chosen to the frame on the screen: the main window (shown,
// offscreen platform unless QT_QPA_PLATFORM says otherwise) opens FILE as
// its open command does, and the time runs until the new window's picture
// has been painted for the first time. Each run opens the file in a fresh
// window and closes it again; prints every run and the median in ms, with
// the processor time of all the program's threads in the same span (on a
// machine busy with other work the wall time waits for a core; the
// processor time does not). It also prints how much the process's resident
// memory grew per pixel of the frame while the window was open and shown:
// what one more such window costs.
//
//   build/bench/open_paint_bench FILE [RUNS]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The resident memory of this process in bytes.
double ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

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
  std::vector<double> cpu_times;
  std::vector<double> bytes_per_pixel;
  for (int run = 0; run < runs; ++run) {
    watch.painted = false;
    const double resident0 = ResidentBytes();
    QElapsedTimer timer;
    const double cpu0 = CpuMs();
    timer.start();
    MainForm->OpenFiles({path});
    while (!watch.painted && timer.elapsed() < 10000) QApplication::processEvents();
    // The paint event has been handled when processEvents returns.
    const double ms = timer.nsecsElapsed() / 1e6;
    const double cpu = CpuMs() - cpu0;
    times.push_back(ms);
    if (TChild* child = MainForm->ActiveChild()) {
      const qirm::ImageDocument* doc = child->Document();
      const double pixels = static_cast<double>(doc->width.value_or(0)) * doc->height.value_or(0);
      if (pixels > 0) bytes_per_pixel.push_back((ResidentBytes() - resident0) / pixels);
    }
    cpu_times.push_back(cpu);
    std::printf("run %d: %.1f ms wall, %.1f ms processor%s\n", run + 1, ms, cpu,
                watch.painted ? "" : " (no paint seen)");
    if (area) area->closeAllSubWindows();
    QApplication::processEvents();
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu_times.begin(), cpu_times.end());
  std::printf(
      "wall: median %.1f ms, min %.1f ms, max %.1f ms; processor: median %.1f ms, min %.1f ms, max %.1f ms; "
      "%d runs\n",
      times[times.size() / 2], times.front(), times.back(), cpu_times[cpu_times.size() / 2],
      cpu_times.front(), cpu_times.back(), runs);
  if (!bytes_per_pixel.empty()) {
    std::sort(bytes_per_pixel.begin(), bytes_per_pixel.end());
    std::printf("resident growth while the window is shown: median %.2f bytes per pixel [%.2f-%.2f]\n",
                bytes_per_pixel[bytes_per_pixel.size() / 2], bytes_per_pixel.front(), bytes_per_pixel.back());
  }
  DestroyForms();
  return 0;
}
