// What showing changes costs the window's refresh (offscreen), side by side
// with the same refresh without them, runs interleaved, medians:
//   changes_bench FOLDER [RUNS]
//     View > Show Changes off against on (each refresh keeps a snapshot of
//     the rows), first with no earlier look at the folder kept, then with one
//     kept under yesterday's date that the rows are compared with;
//   changes_bench FOLDER SCAN [RUNS]
//     without changes against File > Compare With Scan of SCAN (a saved scan
//     of FOLDER): coming to the folder, until the change column is filled
//     (the scan is read again for the folder), and a refresh in place (F5).
// The snapshot written after a refresh, on a thread of its own, is waited for
// between the runs, outside the times.
#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/disk_usage_form.h"
#include "bench_session.h"
#include "bench_timing.h"
#include "model/snapshot_store.h"
#include "views/usage_list_model.h"

namespace {

struct Series {
  std::vector<double> wall, cpu;
  void add(const Times& t) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
};

void printPair(const char* what, const Series& without, const Series& with) {
  std::printf("%s: without %.0f ms, with %.0f ms, ratio %.3f (processor %.0f / %.0f ms, ratio %.3f)\n", what,
              median(without.wall), median(with.wall), median(with.wall) / median(without.wall), median(without.cpu),
              median(with.cpu), median(with.cpu) / median(without.cpu));
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: changes_bench FOLDER [SCAN] [RUNS]\n");
    return 2;
  }
  const bool withScan = argc > 2 && std::atoi(argv[2]) == 0;
  const int runs = std::max(1, std::atoi(argv[withScan ? 3 : 2] ? argv[withScan ? 3 : 2] : "5"));
  const BenchSession session;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallorin");
  TDiskUsageForm::Options options;
  options.arguments = {"/nonexistent-start"};
  TDiskUsageForm form(options);
  if (!form.created()) return 1;
  form.show();
  form.NumbersCmd->trigger();
  app.processEvents();
  const QTemporaryDir away;
  const std::string awayPath = away.path().toStdString();
  const std::string folder = argv[1];
  auto settle = [&] {
    while (form.scanReadRunning()) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    form.WaitForSnapshotWrite();
    app.processEvents();
  };
  auto goAway = [&] {
    form.SelectFolderPath(awayPath);
    settle();
  };
  std::printf("load average at the start: %s\n", loadAverage().c_str());
  form.SelectFolderPath(folder);  // warms the cache
  settle();

  if (!withScan) {
    for (bool earlier : {false, true}) {
      if (earlier) {
        // An earlier look, as a refresh yesterday would have kept it.
        form.SetShowChanges(true);
        settle();
        const TSnapshotStore store(TSnapshotStore::DefaultFolder());
        const std::optional<TSnapshot> today = store.load(form.currentFolderPath(), QDate::currentDate());
        if (!today) {
          std::fprintf(stderr, "no snapshot was kept of %s\n", folder.c_str());
          return 1;
        }
        store.save(form.currentFolderPath(), QDateTime::currentDateTime().addDays(-1), today->rows);
      }
      Series off, on, after;
      for (int r = 0; r < runs; ++r) {
        form.SetShowChanges(false);
        goAway();
        off.add(timed([&] { form.SelectFolderPath(folder); }));
        settle();
        form.SetShowChanges(true);
        goAway();
        on.add(timed([&] { form.SelectFolderPath(folder); }));
        settle();
        // The refresh's change work on its own: the copy of the rows for the
        // snapshot, the baseline's load, the match, the sort, the fit.
        after.add(timed([&] { form.ChangesAfterRefresh(); }));
        settle();
      }
      std::printf("%s, %d rows, median of %d, %s:\n", argv[1], form.UsageModel->presentRowCount(), runs,
                  earlier ? "compared with an earlier look (yesterday's snapshot)" : "no earlier look kept");
      printPair("  refresh, Show Changes off / on", off, on);
      std::printf("  the change work after the rows, on its own: %.1f ms (processor %.1f ms)\n", median(after.wall),
                  median(after.cpu));
    }
  } else {
    const QString scanFile = QString::fromLocal8Bit(argv[2]);
    form.ScanFileChooser = [scanFile] { return scanFile; };
    Series off, on, offInPlace, onInPlace;
    for (int r = 0; r < runs; ++r) {
      form.SetShowChanges(false);
      goAway();
      off.add(timed([&] { form.SelectFolderPath(folder); }));
      settle();
      offInPlace.add(timed([&] { form.RefreshCmdClick(); }));
      settle();
      form.CompareWithScanCmdClick();  // the scan read for the folder shown
      settle();
      goAway();
      on.add(timed([&] {
        form.SelectFolderPath(folder);
        while (form.scanReadRunning()) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
      }));
      settle();
      if (form.UsageModel->rowCount() == form.UsageModel->presentRowCount() &&
          form.baselineText().startsWith(QStringLiteral("since the scan")) == false) {
        std::fprintf(stderr, "the scan was not compared: %s\n", form.baselineText().toLocal8Bit().constData());
        return 1;
      }
      onInPlace.add(timed([&] { form.RefreshCmdClick(); }));
      settle();
    }
    std::printf("%s, %d rows, median of %d, compared with %s (%s):\n", argv[1], form.UsageModel->presentRowCount(),
                runs, argv[2], form.baselineText().toLocal8Bit().constData());
    printPair("  coming to the folder until the change column is filled", off, on);
    printPair("  refresh in place (F5)", offInPlace, onInPlace);
  }
  std::printf("load average at the end: %s\n", loadAverage().c_str());
  return 0;
}
