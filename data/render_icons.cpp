// Writes the program's icon as PNG files of the hicolor theme's usual sizes,
// from the same drawing the program uses.
//   render_icons OUTPUT_FOLDER
#include <QDir>
#include <QImage>
#include <cstdio>

#include "support/artwork.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: render_icons OUTPUT_FOLDER\n");
    return 2;
  }
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor/%1x%1/apps").arg(size);
    if (!QDir().mkpath(folder) || !ProgramIconImage(size).save(folder + QStringLiteral("/tallorin.png"))) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
