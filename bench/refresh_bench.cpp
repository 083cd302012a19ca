// Times the main window's refresh of one folder (listing, one engine call per
// entry, rows, totals, sort, status bar) offscreen, side by side with `du -s`
// of the same folder, then the re-sort by every column, and the memory the
// rows take.
//   refresh_bench FOLDER [RUNS]
#include <QApplication>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QProcess>
#include <QScrollBar>
#include <algorithm>
#include <sys/resource.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/disk_usage_form.h"
#include "bench_session.h"
#include "bench_timing.h"
#include "model/directory_list.h"
#include "platform/fs.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"
#include "chart/bar_chart.h"

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

long statusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  return 0;
}

Times timeDu(const QString& folder) {
  QElapsedTimer t;
  t.start();
  const double cpu0 = cpuMs(RUSAGE_CHILDREN);
  QProcess du;
  du.start(QStringLiteral("du"), {QStringLiteral("-s"), folder});
  du.waitForFinished(-1);
  return {t.nsecsElapsed() / 1e6, cpuMs(RUSAGE_CHILDREN) - cpu0};
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: refresh_bench FOLDER [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const BenchSession session;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallorin");
  TDiskUsageForm::Options options;
  options.arguments = {"/nonexistent-start"};
  TDiskUsageForm form(options);
  if (!form.created()) return 1;
  form.show();
  form.NumbersCmd->trigger();  // the list, where rows are seen arriving
  app.processEvents();  // the start folder (the current one) is computed now
  // Between runs the window shows an empty folder, so that coming back
  // refreshes and leaving costs nothing measurable.
  const QTemporaryDir away;
  const std::string awayPath = away.path().toStdString();
  form.SelectFolderPath(awayPath);
  app.processEvents();
  const long rssBefore = statusKb("VmRSS:");

  PaintCounter listPaints, totalsPaints, scrollPaints;
  form.UsageList->viewport()->installEventFilter(&listPaints);
  form.UsageList->verticalScrollBar()->installEventFilter(&scrollPaints);
  form.TotalsGroup->installEventFilter(&totalsPaints);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  (void)timeDu(folder);  // warm the cache
  std::vector<double> ours, peer, oursCpu, peerCpu, listing, engine, sort, fit, listingCpu, engineCpu, sortCpu;
  TUsageEngine& e = form.engine();
  for (int r = 0; r < runs; ++r) {
    form.SelectFolderPath(awayPath);  // away, so that coming back refreshes
    app.processEvents();
    // The parts the window cannot do without, on their own: the folder's
    // listing, then the listing with one engine computation per entry.
    const Times tl = timed([&] { TDirectoryList l; l.ReadDirectory(argv[1]); });
    listing.push_back(tl.wall);
    listingCpu.push_back(tl.cpu);
    const Times te = timed([&] {
                       TDirectoryList l;
                       l.ReadDirectory(argv[1]);
                       const platform::FileDescriptor folderFd(platform::openDirectory(argv[1]));
                       uint64_t time;
                       for (int i = 0; i < l.Count(); ++i) {
                         if (l.Items(i)->Name() == "..") continue;
                         e.CalcEntryUsage(folderFd.get(), l.Items(i)->FullPath.c_str());
                         e.TlrGetStatVal("Directories");
                         e.TlrGetStatVal("Files");
                         e.TlrGetStatValF("DiskBytes");
                         e.TlrGetStatValF("FileBytes");
                         e.TlrGetFileTime(&time);
                       }
                     });
    engine.push_back(te.wall);
    engineCpu.push_back(te.cpu);
    listPaints.paints = totalsPaints.paints = scrollPaints.paints = 0;
    const Times t = timed([&] { form.SelectFolderPath(argv[1]); });
    ours.push_back(t.wall);
    oursCpu.push_back(t.cpu);
    const Times d = timeDu(folder);
    peer.push_back(d.wall);
    peerCpu.push_back(d.cpu);
    // The refresh's own steps after the rows are in, once more.
    const Times ts = timed([&] { form.SortByColumn(form.SortColumn); });
    sort.push_back(ts.wall);
    sortCpu.push_back(ts.cpu);
    fit.push_back(timed([&] { form.FitFigureColumns(); }).wall);
  }
  const int rows = form.UsageModel->rowCount();
  const long rssAfter = statusKb("VmRSS:");
  std::printf("load average at the end: %s", [] {
    std::ifstream in("/proc/loadavg");
    std::string line;
    std::getline(in, line);
    return (line + "\n");
  }().c_str());
  std::printf("refresh of %s, %d rows, median of %d: %.0f ms; du -s %.0f ms; ratio %.2f\n", argv[1], rows, runs,
              median(ours), median(peer), median(ours) / median(peer));
  std::printf("processor time: refresh %.0f ms, du -s %.0f ms; ratio %.2f\n", median(oursCpu), median(peerCpu),
              median(oursCpu) / median(peerCpu));
  std::printf("breakdown (wall / processor ms): listing %.0f / %.0f; listing and one engine computation per entry "
              "%.0f / %.0f; the rest of the refresh about %.0f / %.0f; a re-sort of the sorted rows with the chart's "
              "rebuild %.0f / %.0f; the column fit %.1f\n",
              median(listing), median(listingCpu), median(engine), median(engineCpu), median(ours) - median(engine),
              median(oursCpu) - median(engineCpu), median(sort), median(sortCpu), median(fit));
  std::printf("painted during the last refresh: the list %d times, its scroll bar %d, the totals %d\n", listPaints.paints,
              scrollPaints.paints, totalsPaints.paints);
  if (rows > 0)
    std::printf("memory: %ld KB more than on an empty folder, %.0f bytes per row\n", rssAfter - rssBefore,
                (rssAfter - rssBefore) * 1024.0 / rows);

  double slowest = 0;
  for (int column = 0; column < 6; ++column) {
    for (bool again : {false, true}) {  // ascending, then descending
      (void)again;
      QElapsedTimer timer;
      timer.start();
      form.UsageListColumnClick(column);
      app.processEvents();
      const double ms = timer.nsecsElapsed() / 1e6;
      slowest = std::max(slowest, ms);
      std::printf("sort by column %d %s: %.1f ms\n", column, form.SortAscending ? "ascending" : "descending", ms);
    }
  }
  std::printf("slowest sort (the chart rebuilt from the sorted rows included): %.1f ms\n", slowest);

  // The chart: a rebuild on its own, and the paint of one page with its icons.
  form.ChartCmdClick();
  app.processEvents();
  {
    QElapsedTimer timer;
    timer.start();
    form.BuildUsageChart();
    std::printf("chart rebuild of %d rows: %.1f ms\n", rows, timer.nsecsElapsed() / 1e6);
    std::vector<double> paints;
    QImage page(form.UsageChart->size(), QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 9; ++i) {
      form.ChartScroll->setValue(i * 1000 % std::max(1, form.ChartScroll->maximum() + 1));
      timer.restart();
      form.UsageChart->render(&page);
      paints.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("chart page paint (%d rows a page, icons included), median of 9: %.2f ms\n",
                form.ChartRowsPerPage() + 1, median(paints));
  }
  return 0;
}
