#include "RichText.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <vector>

#include "Exceptions.h"
#include "FileIO.h"

namespace platform {

namespace {

// Appends text with RTF's escapes: the three special characters, tabs and line
// separators as control words, everything outside ASCII as \uN with "?" as the
// fallback for readers that do not know \u.
void AppendText(std::string& out, const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == '\\' || u == '{' || u == '}') {
      out += '\\';
      out += char(u);
    } else if (u == '\t') {
      out += "\\tab ";
    } else if (u == 0x2028) {
      out += "\\line ";
    } else if (u >= 0x20 && u < 0x80) {
      out += char(u);
    } else if (u >= 0x80) {
      out += "\\u" + std::to_string(static_cast<int16_t>(u)) + "?";
    }
  }
}

template <class T>
int IndexOf(std::vector<T>& table, const T& value) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i] == value) return static_cast<int>(i);
  }
  table.push_back(value);
  return static_cast<int>(table.size() - 1);
}

}  // namespace

std::string DocumentToRtf(const QTextDocument& document) {
  std::vector<QString> fonts{document.defaultFont().family()};
  std::vector<QRgb> colors;
  std::string body;
  bool firstBlock = true;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (!firstBlock) body += "\\par\n";
    firstBlock = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      const QTextCharFormat format = fragment.charFormat();
      const QFont font = format.font();
      body += "{\\f" + std::to_string(IndexOf(fonts, font.family()));
      const double points = font.pointSizeF() > 0 ? font.pointSizeF() : document.defaultFont().pointSizeF();
      if (points > 0) body += "\\fs" + std::to_string(static_cast<int>(points * 2 + 0.5));
      if (font.bold()) body += "\\b";
      if (font.italic()) body += "\\i";
      if (font.underline()) body += "\\ul";
      if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        // Colour 0 of the table is "auto"; the others count from 1.
        body += "\\cf" + std::to_string(IndexOf(colors, format.foreground().color().rgb()) + 1);
      }
      body += ' ';
      AppendText(body, fragment.text());
      body += '}';
    }
  }

  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
  for (size_t i = 0; i < fonts.size(); ++i) {
    out += "{\\f" + std::to_string(i) + "\\fnil ";
    AppendText(out, fonts[i]);
    out += ";}";
  }
  out += "}\n{\\colortbl ;";
  for (QRgb rgb : colors) {
    out += "\\red" + std::to_string(qRed(rgb)) + "\\green" + std::to_string(qGreen(rgb)) +
           "\\blue" + std::to_string(qBlue(rgb)) + ";";
  }
  out += "}\n\\pard\\plain ";
  out += body;
  out += "\\par\n}\n";
  return out;
}

void SaveRichText(const QTextDocument& document, const std::string& path) {
  try {
    WriteFileBytes(path, DocumentToRtf(document));
  } catch (const EWriteError&) {
    throw EStreamError(SFailedToSaveStream);
  }
}

}  // namespace platform
