// The list interpreter, driven without a window through a recording host.
#include <gtest/gtest.h>

#include <filesystem>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Run.h"
#include "TestUtil.h"

using namespace platform;
using testutil::TTempDir;

namespace {

class TRecordingHost : public TListHost {
 public:
  void SetStatusText(const std::string& text) override { Status.push_back(text); }
  void SetTotalMax(int max) override { TotalMax = max; }
  void SetTotalPosition(int position) override { Totals.push_back(position); }
  void StepProgress() override { ++Steps; }
  void ProcessMessages() override {
    ++Pumps;
    if (OnPump) OnPump();
  }
  bool StopRequested() const override { return Stop; }

  std::vector<std::string> Status;
  std::vector<int> Totals;
  int TotalMax = 0, Steps = 0, Pumps = 0;
  bool Stop = false;
  std::function<void()> OnPump;
};

class InterpreterTest : public testing::Test {
 protected:
  void SetUp() override {
    ListLines = std::make_unique<TStringList>();
    OutputDir = out.Path();
    // Three fonts in the output folder, and their sources elsewhere.
    for (const char* name : {"a", "b", "c", "d e"}) {
      testutil::WriteFont(out.Path(), name);
      testutil::WriteFile(out.File(std::string(name) + ".metrics"), "unconverted");
      testutil::WriteFile(src.File(std::string(name) + ".metrics"), "source");
    }
  }
  void TearDown() override { ListLines.reset(); }

  // Writes text as a list file and interprets it; %s in text stands for the source folder.
  void Interpret(const std::string& text, const std::string& name = "list.log") {
    testutil::WriteFile(lists.File(name), Format(text, src.Path()));
    ProcessListFile(host, lists.File(name));
  }
  bool Converted(const std::string& name) {
    return testutil::ReadFile(out.File(name + ".metrics")) != "unconverted";
  }
  std::string Fonts() {
    std::string s;
    for (const char* name : {"a", "b", "c", "d e"}) s += Converted(name) ? name : "-";
    return s;
  }
  std::string ErrorOf(const std::string& text) {
    try {
      Interpret(text);
    } catch (const Exception& e) {
      return e.what();
    }
    return "(no error)";
  }

  TTempDir out, src, lists;
  TRecordingHost host;
};

}  // namespace

TEST_F(InterpreterTest, AnEmptyFileShowsItsNameAndMovesNothing) {
  Interpret("");
  EXPECT_EQ(host.Status, std::vector<std::string>{"Processing list.log..."});
  EXPECT_EQ(host.Totals, std::vector<int>{0});
  EXPECT_EQ(host.TotalMax, 100);
  EXPECT_EQ(host.Steps, 0);
  EXPECT_EQ(host.FListFormat, ikNone);
}

TEST_F(InterpreterTest, AMetSourceConvertsTheFileOfItsNameInTheOutputFolder) {
  Interpret("#Format: MET\r\n#Source: %s/a.metrics\r\n#Format: MET\r\nplain\r\n");
  EXPECT_EQ(Fonts(), "a---");
  EXPECT_EQ(testutil::ReadFile(src.File("a.metrics")), "source") << "the source is never written";
  EXPECT_EQ(host.Steps, 4) << "no line is skipped";
  EXPECT_EQ(host.Totals, (std::vector<int>{0, 0, 33, 66, 100}));
  EXPECT_EQ(host.Status, (std::vector<std::string>{"Processing list.log...", "Processing list.log...",
                                                   "Processing list.log...", "Processing a.metrics...",
                                                   "Processing list.log...", "Processing list.log..."}));
  EXPECT_EQ(ListLines->Items(),
            (std::vector<std::string>{"MET", src.Path() + "/a.metrics", "MET", "plain"}));
  EXPECT_FALSE(SourceStream);
}

TEST_F(InterpreterTest, DirectivesAreWholeCaseSensitiveWords) {
  const struct {
    const char* name;
    const char* text;
    const char* converted;
  } cases[] = {
      {"keyword in another case", "#format: MET\n#Source: %s/a.metrics\n", "----"},
      {"keyword glued to its argument", "#Format:MET\n#Source: %s/a.metrics\n", "----"},
      {"lower-case format name", "#Format: met\n#Source: %s/a.metrics\n", "----"},
      {"unknown format name", "#Format: BMP\n#Source: %s/a.metrics\n", "----"},
      {"no format name", "#Format:\n#Source: %s/a.metrics\n", "----"},
      {"a format then no name", "#Format: MET\n#Format: \n#Source: %s/a.metrics\n", "----"},
      {"name followed by more words", "#Format: MET and more\n#Source: %s/a.metrics\n", "a---"},
      {"tab as the separator", "#Format:\tMET\n#Source:\t%s/a.metrics\n", "a---"},
      {"consecutive sources are all converted",
       "#Format: MET\n#Source: %s/a.metrics\n#Source: %s/b.metrics\n#Source: %s/c.metrics\n", "abc-"},
      {"a path with blanks", "#Format: MET\n#Source: %s/d e.metrics\n", "---d e"},
      {"two blanks: the path begins with a blank", "#Format: MET\n#Source:  %s/a.metrics\n", "----"},
      {"an empty source", "#Format: MET\n#Source:\n#Source: \n", "----"},
      {"a missing source skips nothing", "#Format: MET\n#Source: %s/zz.metrics\n#Source: %s/b.metrics\n", "-b--"},
      {"#Target is a directive without effect", "#Format: MET\n#Target x\n#Target\n#Source: %s/a.metrics\n", "a---"},
      {"#Target: with a colon is a plain line", "#Format: MET\n#Target: %s/b.metrics\n#Source: %s/a.metrics\n", "a---"},
      {"white space before the keyword", "  #Format: MET\n\t #Source: %s/b.metrics\n", "-b--"},
      {"bare paths, as an input list is saved", "%s/a.metrics\n%s/b.metrics\n", "----"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Interpret(c.text);
    EXPECT_EQ(Fonts(), c.converted);
  }
}

TEST_F(InterpreterTest, BlankLinesMoveTheBarsLikeAnyOther) {
  Interpret("\r\n   \r\n\t\r\n#Format: MET\r\n\r\n");
  EXPECT_EQ(host.Steps, 5);
  EXPECT_EQ(host.Pumps, 5);
  EXPECT_EQ(host.Totals, (std::vector<int>{0, 0, 25, 50, 75, 100}));
  EXPECT_EQ(host.FListFormat, ikMetrics);
}

TEST_F(InterpreterTest, AOneLineFileMovesTotalToTheEnd) {
  Interpret("#Format: MET");
  EXPECT_EQ(host.Totals, (std::vector<int>{0, 100}));
  EXPECT_EQ(host.FListFormat, ikMetrics);
}

TEST_F(InterpreterTest, SourcesThatCannotBeHeldEndTheRun) {
  const std::string readOnly = src.File("ro.metrics");
  testutil::WriteFile(readOnly, "");
  testutil::SetReadOnly(readOnly);
  const struct {
    const char* name;
    std::string source;
  } cases[] = {
      {"a folder", src.Path()},
      {"a read-only file", readOnly},
      {"a wildcard that matches", src.File("*.metrics")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Under a format that converts nothing, the source is still looked up and held.
    EXPECT_EQ(ErrorOf("#Format: met\n#Source: " + c.source + "\n"), "Cannot open file " + c.source);
    EXPECT_FALSE(SourceStream);
  }
}

TEST_F(InterpreterTest, TheSourceIsHeldExclusivelyOnlyWhileItsLineRuns) {
  bool heldDuringConversion = false;
  // The converter fails for the second source: its strip is missing.
  std::filesystem::remove(out.File("b.bmp"));
  testutil::WriteFile(lists.File("list.log"),
                      Format("#Format: MET\n#Source: %s/a.metrics\n#Source: %s/b.metrics\n", src.Path()));
  host.OnPump = [&] {
    try {
      TFileStream probe(src.File("a.metrics"), fmOpenReadWrite | fmShareExclusive);
    } catch (const EFOpenError&) {
      heldDuringConversion = true;
    }
  };
  EXPECT_THROW(ProcessListFile(host, lists.File("list.log")), EFOpenError);
  EXPECT_FALSE(heldDuringConversion) << "released before the pump";
  EXPECT_FALSE(SourceStream) << "released when the converter failed";
  EXPECT_NO_THROW(TFileStream(src.File("b.metrics"), fmOpenReadWrite | fmShareExclusive));
  EXPECT_EQ(Fonts(), "a---");
}

TEST_F(InterpreterTest, ASourceHeldElsewhereEndsTheRun) {
  TFileStream other(src.File("a.metrics"), fmOpenReadWrite | fmShareExclusive);
  EXPECT_EQ(ErrorOf("#Format: MET\n#Source: %s/a.metrics\n"), "Cannot open file " + src.Path() + "/a.metrics");
  EXPECT_EQ(Fonts(), "----");
}

TEST_F(InterpreterTest, AMissingListFileNamesItsPath) {
  EXPECT_THROW(
      try { ProcessListFile(host, lists.File("none.log")); } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + lists.File("none.log"));
        throw;
      },
      EFOpenError);
  EXPECT_EQ(host.Steps, 0);
}

TEST_F(InterpreterTest, TheFormatDoesNotCarryOverToTheNextFile) {
  Interpret("#Format: MET\n#Source: %s/a.metrics\n", "first.log");
  Interpret("#Source: %s/b.metrics\n#Format: MET\n#Source: %s/c.metrics\n", "second.log");
  EXPECT_EQ(Fonts(), "a-c-");
}

TEST_F(InterpreterTest, WordsAndPathsHaveNoLengthLimit) {
  // A source path of 258 characters: past the old 255, within what every
  // system's file calls take (Windows' 8-bit calls stop at 259).
  const std::string name = std::string(100, 'n');
  const std::string sub = src.File(std::string(258 - src.Path().size() - 2 - name.size() - 8, 'f'));
  const std::string source = sub + "/" + name + ".metrics";
  ASSERT_EQ(source.size(), 258u);
  testutil::WriteFont(out.Path(), name);
  std::filesystem::create_directory(sub);
  testutil::WriteFile(source, "");
  Interpret("#Format: MET\n#Source: " + source + "\n");
  EXPECT_EQ(SplitLines(testutil::ReadFile(out.File(name + ".metrics"))).size(), 153u);
  const std::string longName = std::string(300, 'n');
  Interpret("#Format: " + longName + "\n");
  EXPECT_EQ(host.FListFormat, ikNone);
}

TEST_F(InterpreterTest, AStopRequestEndsTheFileAfterTheCurrentLine) {
  host.OnPump = [&] { host.Stop = true; };
  Interpret("#Format: MET\n#Source: %s/a.metrics\n");
  EXPECT_EQ(host.Steps, 1);
  EXPECT_EQ(Fonts(), "----");
}
