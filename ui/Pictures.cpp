#include "Pictures.h"

#include <QGuiApplication>
#include <QImage>
#include <QtMath>
#include <functional>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace {

// Draws a size x size picture at ratio device pixels to each of its pixels,
// so that it stays sharp on a scaled screen; a ratio of 0 is the screen's.
QPixmap Draw(int size, const std::function<void(QPainter&)>& draw, qreal ratio = 0) {
  if (ratio <= 0) ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
  const int pixels = qCeil(size * ratio);
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  // The painter works in the picture's own pixels; the image maps them.
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter p(&image);
  draw(p);
  p.end();
  return QPixmap::fromImage(image);
}

const QColor kRed(200, 0, 0);
const QColor kDarkRed(128, 0, 0);
const QColor kBlue(0, 0, 200);

void ExclamationMark(QPainter& p, int x, int top, int bottom) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(x, top, 2, bottom - top - 3);
  p.drawRect(x, bottom - 2, 2, 2);
}

}  // namespace

QPixmap ToolPicture(int index, qreal ratio) {
  return Draw(16, [index](QPainter& p) {
    switch (index) {
      case 0:  // an open tray holding sheets of paper, with a red front
        p.setPen(QColor(96, 96, 96));
        p.setBrush(Qt::white);
        p.drawRect(4, 1, 8, 8);
        p.drawRect(3, 3, 8, 8);
        p.setPen(QColor(128, 128, 128));
        p.drawLine(5, 5, 9, 5);
        p.drawLine(5, 7, 9, 7);
        p.setPen(kDarkRed);
        p.setBrush(kRed);
        p.drawPolygon(QPolygon({QPoint(0, 9), QPoint(15, 9), QPoint(13, 14), QPoint(2, 14)}));
        break;
      case 1:  // a diskette
        p.setPen(Qt::black);
        p.setBrush(QColor(0, 0, 128));
        p.drawRect(1, 1, 13, 13);
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 9, 6);
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(4, 10, 7, 4);
        p.fillRect(8, 11, 2, 2, QColor(0, 0, 128));
        break;
      case 2: {  // a blue arrow pointing left, a red bar below it, black marks at the right
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygon({QPoint(1, 5), QPoint(6, 1), QPoint(6, 3), QPoint(11, 3),
                                QPoint(11, 7), QPoint(6, 7), QPoint(6, 9)}));
        p.setBrush(kRed);
        p.drawRect(1, 12, 10, 2);
        p.setBrush(Qt::black);
        for (int y = 1; y < 15; y += 3) p.drawRect(13, y, 2, 2);
        break;
      }
      case 3: {  // a red circular arrow around a black exclamation mark
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kRed, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(1.5, 1.5, 13, 13), 60 * 16, 300 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawPolygon(QPolygon({QPoint(10, 0), QPoint(15, 3), QPoint(10, 6)}));
        p.setRenderHint(QPainter::Antialiasing, false);
        ExclamationMark(p, 7, 4, 12);
        break;
      }
      case 4:  // a red arrow pointing right
        p.setPen(kDarkRed);
        p.setBrush(kRed);
        p.drawPolygon(QPolygon({QPoint(1, 5), QPoint(8, 5), QPoint(8, 1), QPoint(15, 8),
                                QPoint(8, 15), QPoint(8, 11), QPoint(1, 11)}));
        break;
      default: {  // a red prohibition sign over a black exclamation mark
        ExclamationMark(p, 7, 3, 13);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kRed, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      }
    }
  }, ratio);
}

QPixmap GreyPicture(const QPixmap& picture) {
  QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      // Lightened grey, so that a disabled picture reads as faded.
      const int grey = 96 + qGray(row[x]) * 5 / 8;
      row[x] = qRgba(grey, grey, grey, qAlpha(row[x]));
    }
  }
  QPixmap grey = QPixmap::fromImage(image);
  grey.setDevicePixelRatio(picture.devicePixelRatio());
  return grey;
}

QIcon ApplicationIcon() {
  // A strip of glyph cells over a packed row: the tool's work in one picture,
  // drawn only in the 16 standard colours.
  const QPixmap icon = Draw(32, [](QPainter& p) {
    p.fillRect(1, 4, 30, 24, QColor(0, 0, 128));
    const QColor marks[] = {Qt::red, Qt::yellow, Qt::green, Qt::cyan};
    for (int i = 0; i < 4; ++i) {
      p.fillRect(3 + i * 7, 6, 5, 2, marks[i]);
      p.fillRect(4 + i * 7, 10, 3, 8, Qt::white);
    }
    p.fillRect(3, 22, 26, 4, QColor(192, 192, 192));
    for (int i = 0; i < 4; ++i) p.fillRect(4 + i * 6, 23, 4, 2, Qt::black);
  });
  return QIcon(icon);
}
