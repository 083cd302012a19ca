// Times the main window's refresh of one folder (listing, one engine call
// per entry, rows, totals, sort) and a re-sort by each column, offscreen.
//   refresh_bench FOLDER
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "app/disk_usage_form.h"
#include "platform/dynamic_library.h"
#include "views/usage_list_model.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: refresh_bench FOLDER\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallorin");
  TDiskUsageForm::Options options;
  options.arguments = {"/nonexistent-start"};
  TDiskUsageForm form(options);
  if (!form.created()) return 1;
  form.show();
  app.processEvents();  // the start folder (the current one) is computed now
  QElapsedTimer timer;
  timer.start();
  form.SelectFolderPath(argv[1]);
  const qint64 refresh = timer.elapsed();
  std::printf("refresh of %s: %lld ms, %d rows\n", argv[1], static_cast<long long>(refresh), form.UsageModel->rowCount());
  for (int column : {1, 5, 0}) {
    timer.restart();
    form.UsageListColumnClick(column);
    app.processEvents();
    std::printf("sort by column %d: %lld ms\n", column, static_cast<long long>(timer.elapsed()));
  }
  timer.restart();
  form.repaint();
  std::printf("repaint: %lld ms\n", static_cast<long long>(timer.elapsed()));
  return 0;
}
