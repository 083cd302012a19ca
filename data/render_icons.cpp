// Writes the program's icon from the same drawing the program uses:
//   render_icons OUTPUT_FOLDER   PNG files of the hicolor theme's usual sizes
//   render_icons --ico FILE      the Windows icon file the executable's
//                                resource holds (data/tallorin.ico)
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <cstdio>

#include "support/artwork.h"

namespace {

// An icon file of PNG images (read by Windows since Vista, and by wine): a
// header, an entry per image, then the images.
QByteArray iconFile(const std::initializer_list<int>& sizes) {
  QList<QByteArray> images;
  for (int size : sizes) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ProgramIconImage(size).convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    images.push_back(png);
  }
  QByteArray out;
  auto put16 = [&](quint16 v) { out.append(reinterpret_cast<const char*>(&(v = qToLittleEndian(v))), 2); };
  auto put32 = [&](quint32 v) { out.append(reinterpret_cast<const char*>(&(v = qToLittleEndian(v))), 4); };
  put16(0);  // reserved
  put16(1);  // an icon
  put16(static_cast<quint16>(sizes.size()));
  quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
  int i = 0;
  for (int size : sizes) {
    out.append(static_cast<char>(size >= 256 ? 0 : size));  // 0 stands for 256
    out.append(static_cast<char>(size >= 256 ? 0 : size));
    out.append('\0');  // no palette
    out.append('\0');
    put16(1);   // planes
    put16(32);  // bits per pixel
    put32(static_cast<quint32>(images[i].size()));
    put32(offset);
    offset += static_cast<quint32>(images[i].size());
    ++i;
  }
  for (const QByteArray& png : images) out.append(png);
  return out;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && QByteArray(argv[1]) == "--ico") {
    QFile file(QString::fromLocal8Bit(argv[2]));
    const QByteArray icon = iconFile({16, 24, 32, 48, 64, 256});
    if (!file.open(QIODevice::WriteOnly) || file.write(icon) != icon.size() || !file.flush()) {
      std::fprintf(stderr, "cannot write %s\n", argv[2]);
      return 1;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_icons OUTPUT_FOLDER | render_icons --ico FILE\n");
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
