// Unpacks 10,000 files into the folder the window shows, as another program
// would, and reports how often the window refreshed and how long its event
// loop was ever kept from running (its responsiveness), and how many message
// boxes the window opened (none is right: nothing failed), offscreen.
//   notify_bench [FILES]
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/disk_usage_form.h"
#include "bench_session.h"
#include "platform/message_box.h"
#include "views/usage_list_model.h"

int main(int argc, char* argv[]) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  const BenchSession session;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallorin");
  QTemporaryDir work;
  const QString source = work.path() + "/source", shown = work.path() + "/shown";
  // The archive: FILES small files made once, before the clock starts.
  QProcess::execute("sh", {"-c", QString("mkdir -p '%1' '%2' && cd '%1' && for i in $(seq 1 %3); do echo $i > f$i; done && "
                                         "tar -cf ../files.tar . && rm -rf '%1'")
                                 .arg(source, shown).arg(files)});
  TDiskUsageForm::Options options;
  options.arguments = {shown.toStdString()};
  int boxes = 0;  // answered at once, counted
  platform::setMessageObserver([&](platform::MessageKind, const QString&, const QString& text) {
    if (++boxes == 1) std::fprintf(stderr, "box: %s\n", qPrintable(text));
    return false;
  });
  TDiskUsageForm form(options);
  if (!form.created()) return 1;
  form.show();
  // The folder is computed once the window has been painted.
  QElapsedTimer started;
  started.start();
  while (form.currentFolderPath().empty() && started.elapsed() < 5000) app.processEvents(QEventLoop::AllEvents, 5);
  const int before = form.notifiedRefreshes();

  // The event loop's longest pause while the files arrive.
  QElapsedTimer sinceTick, total;
  qint64 longestPause = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestPause = std::max(longestPause, sinceTick.elapsed());
    sinceTick.restart();
  });
  QProcess unpack;
  unpack.setWorkingDirectory(shown);
  total.start();
  sinceTick.start();
  ticker.start();
  unpack.start("tar", {"-xf", work.path() + "/files.tar"});
  while (unpack.state() != QProcess::NotRunning || total.elapsed() < 200) app.processEvents(QEventLoop::AllEvents, 5);
  const qint64 unpacked = total.elapsed();
  // Let the last report arrive.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 2000) app.processEvents(QEventLoop::AllEvents, 5);
  std::printf("unpacked %d files in %lld ms while shown; refreshes: %d; rows at the end: %d; "
              "longest pause of the event loop: %lld ms; message boxes: %d\n",
              files, static_cast<long long>(unpacked), form.notifiedRefreshes() - before, form.UsageModel->rowCount(),
              static_cast<long long>(longestPause), boxes);
  return 0;
}
