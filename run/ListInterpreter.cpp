// The interpreter of list files (run logs and project lists).
#include <cstring>

#include "Exceptions.h"
#include "Formathandlers.h"
#include "Run.h"
#include "SysUtils.h"

using namespace platform;

std::unique_ptr<TFileStream> SourceStream;

namespace {

// White space between words: what the word scan skips.
constexpr char kWhiteSpace[] = " \t\v\f\r\n";

struct TWord {
  size_t Start = std::string::npos;  // npos: the text holds no word
  std::string Text;
};

TWord FirstWord(const std::string& text) {
  TWord word;
  word.Start = text.find_first_not_of(kWhiteSpace);
  if (word.Start != std::string::npos) {
    const size_t end = text.find_first_of(kWhiteSpace, word.Start);
    word.Text = text.substr(word.Start, end == std::string::npos ? end : end - word.Start);
  }
  return word;
}

TInputKind LookUpFormat(const std::string& name) {
  // The rows with empty names stand for the input list's kinds; no name read
  // from a line selects them.
  if (name.empty()) return ikNone;
  for (size_t row = 0; row < FormatNames.size(); ++row) {
    if (name == FormatNames[row]) return FormatModes[row];
  }
  return ikNone;
}

std::string ProcessingCaption(const std::string& path) {
  return "Processing " + ExtractFileName(path) + "...";
}

// Releases the held source when a line is done, on every way out of it.
struct TSourceRelease {
  ~TSourceRelease() { SourceStream.reset(); }
};

// The "#Source:" directive. i is the index of its line, and afterwards the index
// of the last line that this directive used.
void HandleSource(TListHost& host, const std::string& source, int& i) {
  SourceStream.reset();
  if (!FindFirst(source, faAnyFile)) return;
  // The source is never read or written; it is held, shared with nobody, while
  // the file of its name in the output folder is converted.
  SourceStream = std::make_unique<TFileStream>(source, fmOpenReadWrite | fmShareExclusive);
  host.SetStatusText(ProcessingCaption(source));
  if (host.FListFormat == ikMetrics) {
    // The converter takes the index of the next line and returns the index of
    // the next line to interpret.
    i = host.ConvertSource(JoinPath(OutputDir, ExtractFileName(source)), i + 1) - 1;
  }
}

}  // namespace

void ProcessListFile(TListHost& host, const std::string& path) {
  ListLines->Clear();
  ListLines->LoadFromFile(path);
  const std::string caption = ProcessingCaption(path);
  host.SetStatusText(caption);
  host.SetTotalMax(100);
  host.SetTotalPosition(0);
  host.FListFormat = ikNone;

  for (int i = 0; i < ListLines->Count(); ++i) {
    TSourceRelease release;
    host.EnterListLine(path, i);
    host.SetStatusText(caption);
    const int count = ListLines->Count();
    host.SetTotalPosition(count > 1 ? static_cast<int>(int64_t{i} * 100 / (count - 1)) : 100);

    const std::string line = (*ListLines)[i];
    const TWord word = FirstWord(line);
    host.FPlainLine = true;
    size_t directive = 0;
    for (; directive < Directives.size(); ++directive) {
      if (word.Text == Directives[directive]) {
        host.FPlainLine = false;
        break;
      }
    }
    if (!host.FPlainLine) {
      // The keyword and the one separator character after it go, counted from
      // wherever the keyword starts; the argument is the rest of the line.
      const size_t cut = word.Start + std::strlen(Directives[directive]) + 1;
      ListLines->Put(i, cut < line.size() ? line.substr(cut) : std::string());
      const std::string& argument = (*ListLines)[i];
      switch (directive) {
        case 0: host.FListFormat = LookUpFormat(FirstWord(argument).Text); break;
        case 1: HandleSource(host, std::string(argument), i); break;
        default: break;  // "#Target" has no effect
      }
    }
    SourceStream.reset();
    host.StepProgress();
    host.ProcessMessages();
    if (host.StopRequested()) return;
  }
}
