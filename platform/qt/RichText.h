// Writes a rich-text document as Rich Text Format: the text with its character
// formatting (font, size, bold, italic, underline, colour). Characters outside
// ASCII are written as \u escapes, so any reader shows the same text.
#pragma once

#include <string>

class QTextDocument;

namespace platform {

std::string DocumentToRtf(const QTextDocument& document);

// Raises EFCreateError when path cannot be created and "Failed to Save Stream"
// when writing fails.
void SaveRichText(const QTextDocument& document, const std::string& path);

}  // namespace platform
