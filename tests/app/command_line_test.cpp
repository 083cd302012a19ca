// tallorin run as a process, as a shell runs it: --help and --version answer
// without a display, and a folder named like an option still goes to the
// window.
#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include "temp_tree.h"

namespace {

struct Outcome {
  bool finished = false;
  bool crashed = false;
  int exitCode = -1;
  QString out, err;
};

// Runs the built program in folder with no display of any kind: no X, no
// Wayland, no Qt platform chosen.
Outcome runWithoutDisplay(const QStringList& args, const QString& folder) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_SOCKET"}) env.remove(name);
  QProcess p;
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(folder);
  p.start(QStringLiteral(TALLORIN_EXE), args);
  Outcome o;
  o.finished = p.waitForFinished(60000);
  if (!o.finished) p.kill(), p.waitForFinished();
  o.crashed = p.exitStatus() == QProcess::CrashExit;
  o.exitCode = p.exitCode();
  o.out = QString::fromUtf8(p.readAllStandardOutput());
  o.err = QString::fromUtf8(p.readAllStandardError());
  return o;
}

}  // namespace

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
  testsupport::TempTree t;
  const QString usage = QStringLiteral("Usage: tallorin [FOLDER | FILE | /idlist NUMBER [FALLBACK]]\n");
  const QString version = QStringLiteral("tallorin " TALLORIN_VERSION "\n");
  struct Case {
    QStringList args;
    QString answer;  // the usage: the first line; the version: all of it
  } cases[] = {
      {{"--help"}, usage},
      {{"--version"}, version},
      {{"somewhere", "--help"}, usage},
      {{"--version", "--help"}, version},
      {{"--help", "--", "--version"}, usage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const Outcome o = runWithoutDisplay(c.args, QString::fromStdString(t.root()));
    ASSERT_TRUE(o.finished);
    EXPECT_FALSE(o.crashed);
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    if (c.answer == usage) {
      EXPECT_TRUE(o.out.startsWith(usage)) << o.out.toStdString();
      EXPECT_TRUE(o.out.contains("--version")) << o.out.toStdString();
      EXPECT_TRUE(o.out.endsWith('\n'));
    } else {
      EXPECT_EQ(o.out, c.answer);
    }
    EXPECT_EQ(o.err, "") << "nothing of Qt started";
  }
}

TEST(CommandLine, AFolderNamedLikeAnOptionGoesToTheWindow) {
  // Without a display the window cannot come up: the program gets as far as
  // starting Qt and fails there, instead of answering. After "--" nothing
  // reaches Qt: "-platform offscreen" there would bring the window up.
  testsupport::TempTree t;
  t.dir("--help");
  t.dir("--version");
  const QStringList cases[] = {{"./--help"}, {"--", "--help"}, {"--", "--version"}, {"--", "-platform", "offscreen"}};
  for (const QStringList& args : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const Outcome o = runWithoutDisplay(args, QString::fromStdString(t.root()));
    ASSERT_TRUE(o.finished);
    EXPECT_TRUE(o.crashed || o.exitCode != 0);
    EXPECT_EQ(o.out, "") << "no usage and no version";
    EXPECT_TRUE(o.err.contains("display") || o.err.contains("platform plugin")) << o.err.toStdString();
  }
}
