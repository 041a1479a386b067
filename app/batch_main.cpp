// extractinsert-batch: the window's run without the window, for build scripts
// and machines without a display.
//
//   extractinsert-batch [-q] -o DIR FILE...
//
// FILE kinds by extension: .metrics font metrics files, .log run logs, or one
// .lst project list whose lines become the entries. The run is the shared run
// of run/: the same walk, run log, dispatch and list interpreter.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Classes.h"
#include "CodePage.h"
#include "Console.h"
#include "Exceptions.h"
#include "Formathandlers.h"
#include "Run.h"
#include "Graphics.h"
#include "SysUtils.h"

using namespace platform;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;  // as a shell reports an interrupted command

constexpr char kUsage[] =
    "usage: extractinsert-batch [-q] [--fnt [--codepage N]] -o DIR FILE...\n"
    "       extractinsert-batch --check [-v] [--codepage N] [-o DIR] FILE...\n"
    "\n"
    "Converts fonts as the window's Process does, into the output folder DIR\n"
    "(created if missing). All FILEs are of one kind, told by extension:\n"
    "  .metrics  font metrics files; the glyph strip is the .bmp beside each;\n"
    "            writes DIR/result.log\n"
    "  .log      run logs: the sources of their MET sections are converted in DIR\n"
    "  .lst      one project list; its lines are the list files to interpret\n"
    "\n"
    "  -o DIR    the output folder\n"
    "  -q        no progress output\n"
    "  --fnt     also write NAME.fnt, an AngelCode BMFont descriptor of each font\n"
    "  --codepage N  the Windows code page of the bytes 0xC0-0xFF (default 1251)\n"
    "  --check   check the fonts that the run would convert, and write nothing:\n"
    "            a line per font, warnings for likely drawing faults; exit 1 when\n"
    "            any font would fail (-o is needed for .log and .lst files)\n"
    "  -v        with --check, the cell table of every font\n"
    "  --help    this text\n"
    "  --version the name and the version\n";

bool ProgressLineOpen = false;  // a progress bar stands on the terminal without its newline

// Ends a progress bar's line, so that what follows starts a line of its own.
void EndProgressLine() {
  if (ProgressLineOpen) std::fputc('\n', stderr);
  ProgressLineOpen = false;
}

struct TOptions {
  std::string outputDir;
  std::vector<std::string> files;
  bool quiet = false;
  bool check = false;
  bool verbose = false;
  bool descriptor = false;
  int codepage = 1251;  // Windows Cyrillic, whose 0xC0-0xFF are А to я
};

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

TInputKind KindOf(const std::vector<std::string>& files);

TOptions ParseArguments(int argc, char** argv) {
  TOptions options;
  bool outputGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-o") {
      if (i + 1 >= argc) throw TUsageError("-o needs a folder");
      options.outputDir = argv[++i];
      outputGiven = true;
    } else if (arg == "-q") {
      options.quiet = true;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "-v") {
      options.verbose = true;
    } else if (arg == "--fnt") {
      options.descriptor = true;
    } else if (arg == "--codepage") {
      if (i + 1 >= argc) throw TUsageError("--codepage needs a number");
      char* end = nullptr;
      const long page = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || page <= 0 || page > 65535) throw TUsageError("not a code page: " + std::string(argv[i]));
      options.codepage = static_cast<int>(page);
    } else if (arg == "--") {
      for (++i; i < argc; ++i) options.files.push_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TUsageError("unknown option " + arg);
    } else {
      options.files.push_back(arg);
    }
  }
  if (options.files.empty()) throw TUsageError("no input files");
  // A check of font metrics files needs no output folder: nothing is written.
  const bool needsFolder = !options.check || KindOf(options.files) != ikMetrics;
  if (needsFolder && (!outputGiven || options.outputDir.empty())) throw TUsageError("no output folder (-o DIR)");
  if (options.verbose && !options.check) throw TUsageError("-v goes with --check");
  return options;
}

// The kind of every file, told by extension as the open dialog's filters tell it.
TInputKind KindOf(const std::vector<std::string>& files) {
  std::optional<TInputKind> kind;
  for (const std::string& file : files) {
    const int filter = FilterIndexOfFile(file);
    if (filter == 0) throw TUsageError("not a .metrics, .log or .lst file: " + file);
    const TInputKind k = FormatModes[filter - 1];
    if (kind && *kind != k) throw TUsageError("the files are not all of one kind");
    kind = k;
  }
  if (*kind == ikProjectList && files.size() > 1) throw TUsageError("only one .lst file may be given");
  return *kind;
}

// The run on a terminal: a progress bar on a terminal, else a line per entry.
class TConsoleHost : public TRunHost {
 public:
  TConsoleHost(std::vector<std::string> entries, TInputKind kind, bool quiet)
      : FEntries(std::move(entries)), FKind(kind), FQuiet(quiet), FTerminal(StdErrIsTerminal()) {}

  int EntryCount() const override { return static_cast<int>(FEntries.size()); }
  std::string Entry(int index) const override {
    return index >= 0 && index < EntryCount() ? FEntries[index] : std::string();
  }
  TInputKind Mode() const override { return FKind; }
  std::string FormatName() const override {
    for (size_t row = 0; row < FormatModes.size(); ++row) {
      if (FormatModes[row] == FKind) return FormatNames[row];
    }
    return "";
  }
  void ProcessEntry(TInputKind kind, const std::string& entry) override {
    ++FDone;
    FStatus = ExtractFileName(entry);
    FEntry = entry;
    FListPath.clear();
    Show();
    FInEntry = true;
    DispatchItem(*this, kind, entry);
    FInEntry = false;
  }
  void EnterListLine(const std::string& path, int index) override {
    FListPath = path;
    FListLine = index + 1;
  }
  // When an error ends the run inside an entry: the line that names the entry,
  // and the list file and line being interpreted, so that among many inputs
  // the one at fault is found without -q's silence getting in the way.
  void ShowErrorPlace() const {
    if (!FInEntry) return;
    EndProgressLine();
    std::string place = "extractinsert-batch: error in entry " + IntToStr(FDone) + " of " +
                        IntToStr(EntryCount()) + ": " + FEntry;
    if (!FListPath.empty()) {
      place += (FListPath == FEntry ? ", line " : ", in " + FListPath + " at line ") + IntToStr(FListLine);
    }
    std::fprintf(stderr, "%s\n", place.c_str());
  }
  void SetStatusText(const std::string& text) override { FStatus = text; }
  void SetTotalMax(int) override {}
  void SetTotalPosition(int) override {}
  void StepProgress() override {}
  void ProcessMessages() override {}
  bool StopRequested() const override { return InterruptRequested(); }
  void ResetStatus() override {
    EndProgressLine();
  }

 private:
  void Show() {
    if (FQuiet) return;
    const int total = EntryCount();
    if (!FTerminal) {
      std::fprintf(stderr, "[%d/%d] %s\n", FDone, total, Entry(FDone - 1).c_str());
      return;
    }
    constexpr int kBarWidth = 30;
    const int filled = total > 0 ? FDone * kBarWidth / total : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, '-');
    std::string name = FStatus.size() > 40 ? "..." + FStatus.substr(FStatus.size() - 37) : FStatus;
    std::fprintf(stderr, "\r[%s] %d/%d %-40s", bar.c_str(), FDone, total, name.c_str());
    std::fflush(stderr);
    ProgressLineOpen = true;
  }

  std::vector<std::string> FEntries;
  TInputKind FKind;
  bool FQuiet;
  bool FTerminal;
  int FDone = 0;
  std::string FStatus;
  bool FInEntry = false;  // an entry is being handled
  std::string FEntry;
  std::string FListPath;  // the list file being interpreted, if any
  int FListLine = 0;      // from 1
};

const char* PixelFormatName(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return "1 bit";
    case TPixelFormat::pf4bit: return "4 bits";
    case TPixelFormat::pf8bit: return "8 bits";
    case TPixelFormat::pf15bit: return "15 bits (5-5-5)";
    case TPixelFormat::pf16bit: return "16 bits (5-6-5)";
    case TPixelFormat::pf32bit: return "32 bits";
    default: return "24 bits";
  }
}

// A code point as UTF-8, for the terminal.
std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
  }
  return out;
}

// Prints what a check found of one font: a line, the warnings, the cell table.
bool ReportFont(const std::string& path, const TFontReport& report, const TOptions& options) {
  if (!report.Error.empty()) {
    std::printf("%s: error: %s\n", path.c_str(), ErrorBoxText(report.Error).c_str());
    return false;
  }
  std::printf("%s: %d cells; packed bitmap %d x %d, %s\n", path.c_str(), report.Cells, report.Width,
              report.Height, PixelFormatName(report.Format));
  // Legal, but almost always a drawing fault.
  std::vector<int32_t> widths;
  for (const auto& glyph : report.Glyphs) widths.push_back(glyph.Width);
  std::nth_element(widths.begin(), widths.begin() + widths.size() / 2, widths.end());
  const int32_t median = widths.empty() ? 0 : widths[widths.size() / 2];
  for (const auto& glyph : report.Glyphs) {
    if (glyph.Width > 3 * median) {
      std::printf("%s: warning: the cell of %s, columns %d to %d, is %d wide, more than three times the "
                  "median %d: two marker runs that touch?\n",
                  path.c_str(), CharacterName(glyph.Character).c_str(), glyph.Start, glyph.Start + glyph.Width - 1,
                  glyph.Width, median);
    }
  }
  if (report.IgnoredRuns > 0) {
    std::printf("%s: warning: %d marked runs after the 153rd cell, from column %d on, are ignored\n",
                path.c_str(), report.IgnoredRuns, report.FirstIgnoredColumn);
  }
  if (report.ColumnZeroMarked) {
    std::printf("%s: warning: column 0 of the marker row is marked, and column 0 is never looked at\n",
                path.c_str());
  }
  if (options.verbose) {
    for (const auto& glyph : report.Glyphs) {
      const auto byte = static_cast<unsigned char>(glyph.Character);
      // The byte, then the character: itself for ASCII, its letter in the code page above.
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", unsigned(byte));
      std::string name = hex;
      if (byte < 0x80) name += " " + CharacterName(glyph.Character);
      if (byte >= 0x80) {
        const std::optional<char32_t> letter = CodePageChar(options.codepage, byte);
        char code[16];
        std::snprintf(code, sizeof code, " U+%04X ", letter ? unsigned(*letter) : 0u);
        name += letter ? code + Utf8(*letter) : std::string(" (no letter)");
      }
      // Padded by the characters shown, not by bytes: a letter in UTF-8 takes more than one.
      const size_t shown = size_t(std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; }));
      name.append(shown < 18 ? 18 - shown : 0, ' ');
      std::printf("  %s start %6d  width %4d  packed %6d\n", name.c_str(), glyph.Start, glyph.Width, glyph.Column);
    }
  }
  return true;
}

// The list interpreter, with the fonts of its sources checked, not converted.
class TCheckHost : public TListHost {
 public:
  explicit TCheckHost(std::function<void(const std::string&)> check) : FCheck(std::move(check)) {}
  void SetStatusText(const std::string&) override {}
  void SetTotalMax(int) override {}
  void SetTotalPosition(int) override {}
  void StepProgress() override {}
  void ProcessMessages() override {}
  bool StopRequested() const override { return InterruptRequested(); }
  int32_t ConvertSource(const std::string& path, int32_t next) override {
    FCheck(path);
    return next;
  }

 private:
  std::function<void(const std::string&)> FCheck;
};

// --check: the fonts that the run would convert, each read and reported, and
// nothing written. Unlike a run it goes on after a bad font.
int Check(const TOptions& options, TInputKind kind, const std::vector<std::string>& entries) {
  bool good = true;
  auto check = [&](const std::string& path) { good = ReportFont(path, CheckFont(path), options) && good; };
  if (kind == ikMetrics) {
    for (const std::string& entry : entries) check(entry);
    return good ? kExitOk : kExitError;
  }
  // The list files' fonts are those of the sources' names in the output
  // folder, which is not made if it is missing.
  OutputDir = ExpandFileName(options.outputDir);
  if (DirectoryExists(OutputDir)) SetCurrentDir(OutputDir);
  ListLines = std::make_unique<TStringList>();
  TCheckHost host(check);
  for (const std::string& entry : entries) {
    try {
      ProcessListFile(host, entry);
    } catch (const std::exception& e) {
      std::printf("%s: error: %s\n", entry.c_str(), ErrorBoxText(e.what()).c_str());
      good = false;
    }
  }
  return good ? kExitOk : kExitError;
}

int Run(const TOptions& options) {
  const TInputKind kind = KindOf(options.files);
  // Inputs are full paths, as the open dialog gives them; the lines of a
  // project list stay as they are and resolve against the output folder.
  std::vector<std::string> entries;
  if (kind == ikProjectList) {
    TStringList lines;
    lines.LoadFromFile(ExpandFileName(options.files.front()));
    entries = lines.Items();
  } else {
    for (const std::string& file : options.files) entries.push_back(ExpandFileName(file));
  }

  if (options.check) return Check(options, kind, entries);
  if (options.descriptor) {
    ConvertOptions.DescriptorCodePage = options.codepage;
    ConvertOptions.Warning = [](const std::string& text) {
      EndProgressLine();
      std::fprintf(stderr, "extractinsert-batch: warning: %s\n", text.c_str());
    };
    CodePageChar(options.codepage, 0xC0);  // an unknown code page is refused before anything is written
  }

  const std::string folder = ExpandFileName(options.outputDir);
  if (!ForceDirectories(folder)) throw EInOutError(Format("Unable to create directory %s", folder));
  OutputDir = folder;
  SetCurrentDir(OutputDir);

  ResultLog = std::make_unique<TStringList>();
  ListLines = std::make_unique<TStringList>();
  TConsoleHost host(std::move(entries), kind, options.quiet);
  TRunResult result;
  try {
    result = RunEntries(host);
  } catch (...) {
    host.ShowErrorPlace();
    throw;
  }
  if (result == TRunResult::rrStopped) {
    std::printf("Operation stopped!\n");
    return kExitStopped;
  }
  std::printf("Operation complete!\n");
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("extractinsert-batch %s\n", EI_VERSION);
      return kExitOk;
    }
  }
  // The first Ctrl-C stops the run after the current entry; a second one ends it.
  InstallStopOnInterrupt();

  try {
    return Run(ParseArguments(argc, argv));
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "extractinsert-batch: %s\n\n%s", e.what(), kUsage);
    return kExitUsage;
  } catch (const std::exception& e) {
    // The text of the window's error box.
    EndProgressLine();
    std::fprintf(stderr, "%s\n", ErrorBoxText(e.what()).c_str());
    return kExitError;
  }
}
