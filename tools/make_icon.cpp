// make_icon: writes the application icon, drawn by the program's own picture
// code, as a Windows .ico file and as the PNG files of a freedesktop icon
// theme, so that the window, the .exe and the installed icon show one picture.
// The build runs it; it needs no display.
//
//   make_icon OUT.ico [HICOLOR_DIR NAME]   (HICOLOR_DIR/NxN/apps/NAME.png)
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <vector>

#include "Pictures.h"

namespace {

void PutLE(QByteArray& out, unsigned value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_icon OUT.ico [HICOLOR_DIR NAME]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The picture is drawn at 32 x 32: larger sizes keep its pixels sharp,
  // smaller ones are smoothed.
  const QImage drawn = ApplicationIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);

  auto sized = [&](int size) {
    return size == drawn.width() ? drawn
                                 : drawn.scaled(size, size, Qt::IgnoreAspectRatio,
                                                size > drawn.width() ? Qt::FastTransformation
                                                                     : Qt::SmoothTransformation);
  };
  if (argc == 4) {
    for (int size : {16, 32, 48, 64, 128, 256}) {
      const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
      QDir().mkpath(folder);
      if (!sized(size).save(folder + "/" + QString::fromLocal8Bit(argv[3]) + ".png", "PNG")) {
        std::fprintf(stderr, "make_icon: cannot write the %d pixel icon\n", size);
        return 1;
      }
    }
  }

  // An .ico file: a directory of images, each stored as a PNG.
  const std::vector<int> sizes = {16, 32, 48, 256};
  std::vector<QByteArray> images;
  for (int size : sizes) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    sized(size).save(&buffer, "PNG");
    images.push_back(png);
  }
  QByteArray ico;
  PutLE(ico, 0, 2);  // reserved
  PutLE(ico, 1, 2);  // an icon
  PutLE(ico, unsigned(sizes.size()), 2);
  unsigned offset = 6 + 16 * unsigned(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    PutLE(ico, sizes[i] >= 256 ? 0 : unsigned(sizes[i]), 1);  // 0 stands for 256
    PutLE(ico, sizes[i] >= 256 ? 0 : unsigned(sizes[i]), 1);
    PutLE(ico, 0, 1);   // no palette
    PutLE(ico, 0, 1);   // reserved
    PutLE(ico, 1, 2);   // colour planes
    PutLE(ico, 32, 2);  // bits per pixel
    PutLE(ico, unsigned(images[i].size()), 4);
    PutLE(ico, offset, 4);
    offset += unsigned(images[i].size());
  }
  for (const QByteArray& png : images) ico.append(png);

  QFile out(QString::fromLocal8Bit(argv[1]));
  if (!out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size()) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
