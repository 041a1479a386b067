// extractinsert-batch: the window's run without the window, for build scripts
// and machines without a display.
//
//   extractinsert-batch [-q] -o DIR FILE...
//
// FILE kinds by extension: .metrics font metrics files, .log run logs, or one
// .lst project list whose lines become the entries. The run is the shared run
// of run/: the same walk, run log, dispatch and list interpreter.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Classes.h"
#include "Console.h"
#include "Exceptions.h"
#include "Formathandlers.h"
#include "Run.h"
#include "SysUtils.h"

using namespace platform;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;  // as a shell reports an interrupted command

constexpr char kUsage[] =
    "usage: extractinsert-batch [-q] -o DIR FILE...\n"
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
    "  --help    this text\n"
    "  --version the name and the version\n";

bool ProgressLineOpen = false;  // a progress bar stands on the terminal without its newline

struct TOptions {
  std::string outputDir;
  std::vector<std::string> files;
  bool quiet = false;
};

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
    } else if (arg == "--") {
      for (++i; i < argc; ++i) options.files.push_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TUsageError("unknown option " + arg);
    } else {
      options.files.push_back(arg);
    }
  }
  if (!outputGiven || options.outputDir.empty()) throw TUsageError("no output folder (-o DIR)");
  if (options.files.empty()) throw TUsageError("no input files");
  return options;
}

// The kind of every file, told by extension as the open dialog's filters tell it.
TInputKind KindOf(const std::vector<std::string>& files) {
  std::optional<TInputKind> kind;
  for (const std::string& file : files) {
    const std::string ext = LowerCase(ExtractFileExt(file));
    TInputKind k;
    if (ext == ".metrics") {
      k = ikMetrics;
    } else if (ext == ".log") {
      k = ikLog;
    } else if (ext == ".lst") {
      k = ikProjectList;
    } else {
      throw TUsageError("not a .metrics, .log or .lst file: " + file);
    }
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
    if (ProgressLineOpen) std::fputc('\n', stderr);
    ProgressLineOpen = false;
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
    if (ProgressLineOpen) std::fputc('\n', stderr);
    ProgressLineOpen = false;
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
    if (ProgressLineOpen) std::fputc('\n', stderr);
    std::fprintf(stderr, "%s\n", ErrorBoxText(e.what()).c_str());
    return kExitError;
  }
}
