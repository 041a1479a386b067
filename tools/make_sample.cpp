// Renders the bundled sample font: the 153 characters of a font in DejaVu Sans,
// bytes 0xC0-0xFF read as code page 1251 (Cyrillic А to я), into an 8-bit glyph
// strip whose top row marks each cell with a coloured run.
//
//   make_sample OUTPUT_FOLDER [PIXEL_SIZE]
//
// writes OUTPUT_FOLDER/dejavu-sans.bmp and an empty OUTPUT_FOLDER/dejavu-sans.metrics.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "Classes.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"

using namespace platform;

namespace {

constexpr int kGap = 2;          // black columns between cells
constexpr int kGreyLevels = 248;  // palette entries 0..247: black to white
const QRgb kMarkers[] = {qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(0, 96, 255), qRgb(255, 200, 0)};

QChar Character(unsigned char byte) {
  // Code page 1251 puts А..я at 0xC0..0xFF in Unicode order.
  if (byte >= 0xC0) return QChar(0x0410 + (byte - 0xC0));
  return QChar(byte);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT_FOLDER [PIXEL_SIZE]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const std::string folder = argv[1];
  const int pixelSize = argc > 2 ? std::atoi(argv[2]) : 20;

  QFont font("DejaVu Sans");
  font.setPixelSize(pixelSize);
  font.setHintingPreference(QFont::PreferFullHinting);
  const QFontMetrics metrics(font);
  if (QFontInfo(font).family() != "DejaVu Sans") {
    std::fprintf(stderr, "DejaVu Sans is not installed (fonts-dejavu-core)\n");
    return 1;
  }

  const std::string& characters = FontCharacterSet();
  std::vector<int> widths;
  int stripWidth = 1;
  for (unsigned char byte : characters) {
    widths.push_back(std::max(1, metrics.horizontalAdvance(Character(byte))));
    stripWidth += widths.back() + kGap;
  }
  const int glyphHeight = metrics.height();

  // White glyphs on black, anti-aliased, in a grey image.
  QImage glyphs(stripWidth, glyphHeight, QImage::Format_Grayscale8);
  glyphs.fill(0);
  QPainter painter(&glyphs);
  painter.setFont(font);
  painter.setPen(Qt::white);
  int x = 1;
  for (size_t k = 0; k < characters.size(); ++k) {
    painter.drawText(x, metrics.ascent(), QString(Character(characters[k])));
    x += widths[k] + kGap;
  }
  painter.end();

  TBitmap strip;
  strip.SetPixelFormat(TPixelFormat::pf8bit);
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < kGreyLevels; ++i) {
    const uint8_t v = uint8_t(i * 255 / (kGreyLevels - 1));
    palette.push_back({v, v, v, 0});
  }
  for (QRgb m : kMarkers) palette.push_back({uint8_t(qBlue(m)), uint8_t(qGreen(m)), uint8_t(qRed(m)), 0});
  strip.SetPalette(palette);
  strip.SetSize(stripWidth, glyphHeight + 1);
  for (int y = 0; y < glyphHeight; ++y) {
    uint8_t* row = strip.ScanLine(y + 1);
    const uchar* grey = glyphs.constScanLine(y);
    for (int i = 0; i < stripWidth; ++i) row[i] = uint8_t(grey[i] * (kGreyLevels - 1) / 255);
  }
  x = 1;
  for (size_t k = 0; k < characters.size(); ++k) {
    uint8_t* marker = strip.ScanLine(0);
    for (int i = 0; i < widths[k]; ++i) marker[x + i] = uint8_t(kGreyLevels + k % 4);
    x += widths[k] + kGap;
  }
  strip.SaveToFile(folder + "/dejavu-sans.bmp");
  WriteFileBytes(folder + "/dejavu-sans.metrics", "");
  std::printf("%s/dejavu-sans.bmp: %d x %d, 8 bits per pixel\n", folder.c_str(), strip.Width(),
              strip.Height());
  return 0;
}
