#include "Classes.h"

#include <stdexcept>

#include "FileIO.h"

namespace platform {

std::vector<std::string> SplitLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", i), text.size());
    lines.emplace_back(text.substr(i, end - i));
    i = end;
    if (i < text.size()) {
      // CR LF is one break; any other CR or LF is a break of its own.
      i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    }
  }
  return lines;
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("TStringList::Delete");
  FItems.erase(FItems.begin() + index);
}

std::string TStringList::Text() const {
  size_t size = 0;
  for (const std::string& item : FItems) size += item.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& item : FItems) {
    text += item;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(std::string_view text) { FItems = SplitLines(text); }

void TStringList::LoadFromFile(const std::string& path) { SetText(ReadTextFileBytes(path)); }

void TStringList::SaveToFile(const std::string& path) const { WriteFileBytes(path, Text()); }

}  // namespace platform
