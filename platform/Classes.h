// TStringList: an ordered list of 8-bit strings with the system's text-file rules.
//
// Reading a text: the text ends at its first byte 0; a line ends at CR LF, at a
// lone LF or at a lone CR (LF CR is two breaks, with an empty line between); a
// break at the very end adds no empty line; lines are not trimmed.
// Writing a text: every line, the last one included, is followed by CR LF; no
// byte-order mark; an empty list gives zero bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class TStringList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& operator[](int index) const { return FItems.at(static_cast<size_t>(index)); }
  void Put(int index, std::string value) { FItems.at(static_cast<size_t>(index)) = std::move(value); }
  void Add(std::string value) { FItems.push_back(std::move(value)); }
  void Delete(int index);
  void Clear() { FItems.clear(); }

  const std::vector<std::string>& Items() const { return FItems; }

  // The list as text, and the list read from text, by the rules above.
  std::string Text() const;
  void SetText(std::string_view text);

  // Raises EFOpenError when path cannot be opened; the list is unchanged then.
  void LoadFromFile(const std::string& path);
  // Writes through WriteFileBytes: EFCreateError or EWriteError on failure.
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<std::string> FItems;
};

// The lines of text by the reading rules above.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace platform
