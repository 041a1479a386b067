// The run in the window: Process, the item processor, Stop and Save results.
#include <sys/stat.h>

#include <QTextCursor>
#include <filesystem>

#include "FileIO.h"
#include "Formathandlers.h"
#include "Forms.h"
#include "WindowTest.h"

using namespace platform;

namespace {

class RunTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    std::filesystem::create_directory(dir.File("in"));
    std::filesystem::create_directory(dir.File("out"));
    for (const char* name : {"a", "b", "c"}) fonts.push_back(testutil::WriteFont(dir.File("in"), name));
  }

  // Runs Process with the folder dialog answering folder (no value: Cancel).
  void Process(std::optional<std::string> folder) {
    dialogs.FolderAnswers.push_back(std::move(folder));
    form->BProcess->click();
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> texts;
    for (const auto& box : dialogs.Boxes) texts.push_back(box.Text + " | " + box.Caption);
    return texts;
  }

  std::vector<std::string> fonts;
};

// True when every unescaped "{" of an RTF text has its "}".
bool GroupsBalance(const std::string& rtf) {
  int depth = 0;
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;  // an escaped character or the first letter of a control word
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}' && --depth < 0) {
      return false;
    }
  }
  return depth == 0;
}

const char kComplete[] = "Operation complete! | Process status:";

}  // namespace

TEST_F(RunTest, ThreeFontMetricsInputs) {
  AddFiles(fonts, 1);
  Process(dir.File("out"));
  EXPECT_EQ(form->Totals, (std::vector<int>{0, 33, 66}));
  EXPECT_EQ(form->Total->value(), 0);
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")),
            "#Format: MET\r\n#Source: " + fonts[0] + "\r\n#Format: MET\r\n#Source: " + fonts[1] +
                "\r\n#Format: MET\r\n#Source: " + fonts[2] + "\r\n");
  EXPECT_EQ(testutil::ListFolder(dir.File("out")),
            (std::vector<std::string>{"a.bmp", "a.metrics", "b.bmp", "b.metrics", "c.bmp", "c.metrics",
                                      "result.log"}));
  EXPECT_EQ(Captions(), std::vector<std::string>{kComplete});
  EXPECT_EQ(dialogs.Boxes[0].Icon, TMsgIcon::miInformation);
  EXPECT_EQ(dialogs.OpenedOn, std::vector<std::string>{dir.Path()}) << "opened on the working folder";
  EXPECT_EQ(OutputDir, dir.File("out"));
  EXPECT_EQ(GetCurrentDir(), dir.File("out"));
  EXPECT_EQ(form->Extracted->text(), "");
  EXPECT_EQ(States(), "111100");
}

TEST_F(RunTest, AnEmptyListReturnsAtOnce) {
  form->Results->setPlainText("typed");
  form->BProcessClick(form->BProcess);
  EXPECT_TRUE(dialogs.OpenedOn.empty());
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->Results->toPlainText(), "typed");
}

TEST_F(RunTest, ACancelledFolderDialogStillReportsCompletion) {
  AddFiles(fonts, 1);
  Process(dir.File("out"));
  form->Results->setPlainText("typed");
  form->SaveLog->setEnabled(true);
  form->Extracted->setText("kept");
  Process(std::nullopt);
  EXPECT_TRUE(form->Results->document()->isEmpty());
  EXPECT_EQ(ResultLog->Count(), 0);
  EXPECT_EQ(form->Extracted->text(), "kept");
  EXPECT_EQ(States(), "111101") << "Save results stays enabled";
  EXPECT_EQ(Captions(), (std::vector<std::string>{kComplete, kComplete}));
}

TEST_F(RunTest, AnErrorInTheSecondEntryEndsTheRunThere) {
  ::unlink(dir.File("in/b.bmp").c_str());
  AddFiles(fonts, 1);
  Process(dir.File("out"));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Cannot open file " + dir.File("in/b.bmp") + ". | " +
                                                 Application.Title()});
  EXPECT_EQ(dialogs.Boxes[0].Icon, TMsgIcon::miError);
  EXPECT_EQ(ResultLog->Count(), 4);
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), (std::vector<std::string>{"a.bmp", "a.metrics"}));
  EXPECT_EQ(States(), "111110") << "Stop stays enabled, Save results disabled";
  EXPECT_FALSE(form->RunInProgress());
}

TEST_F(RunTest, AnEntryWithALineBreakIsRefusedBeforeItIsConverted) {
  // A file name may hold a line feed; its result.log line could not.
  const std::string broken = testutil::WriteFont(dir.File("in"), "two\nlines");
  AddFiles({fonts[0], broken, fonts[1]}, 1);
  Process(dir.File("out"));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Cannot process " + broken +
                                                 ": a line break cannot be stored in a list file. | " +
                                                 Application.Title()});
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), (std::vector<std::string>{"a.bmp", "a.metrics"}))
      << "nothing for the entry, no later entry, no result.log";
}

TEST_F(RunTest, ARunOverLogsWritesNoResultLog) {
  AddFiles(fonts, 1);
  Process(dir.File("out"));
  const std::string log = testutil::ReadFile(dir.File("out/result.log"));
  // The run over result.log, with the input folder as output: every font again, in place.
  AddFiles({dir.File("out/result.log")}, 3);
  testutil::WriteFile(dir.File("in/result.log"), "old");
  Process(dir.File("in"));
  EXPECT_EQ(testutil::ReadFile(dir.File("in/result.log")), "old");
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), log);
  for (const char* name : {"a", "b", "c"}) {
    EXPECT_EQ(testutil::ReadFile(dir.File(std::string("in/") + name + ".metrics")),
              testutil::ReadFile(dir.File(std::string("out/") + name + ".metrics")));
    EXPECT_EQ(testutil::ReadFile(dir.File(std::string("in/") + name + ".bmp")),
              testutil::ReadFile(dir.File(std::string("out/") + name + ".bmp")));
  }
  EXPECT_EQ(ResultLog->Count(), 2) << "collected, written nowhere";
  EXPECT_EQ((*ResultLog)[0], "#Format: ");
  EXPECT_EQ(Captions(), (std::vector<std::string>{kComplete, kComplete}));
}

TEST_F(RunTest, TextTypedBetweenEntriesCanBeSavedAsRichText) {
  AddFiles(fonts, 1);
  form->OnMessages = [&] {
    if (!form->Results->document()->isEmpty()) return;
    QTextCursor cursor(form->Results->document());
    cursor.insertHtml("<b>Bold</b> plain <i>\xC3\xA9t\xC3\xA9</i> {x}");
  };
  Process(dir.File("out"));
  EXPECT_EQ(States(), "111101");
  const std::string target = dir.File("results.txt");
  dialogs.Save(target);
  form->SaveLog->click();
  const std::string rtf = testutil::ReadFile(target);
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(rtf.find("\\b Bold}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\i \\u233?t\\u233?}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find(" plain "), std::string::npos);
  EXPECT_NE(rtf.find("\\{x\\}"), std::string::npos);
  EXPECT_TRUE(GroupsBalance(rtf)) << rtf;
  EXPECT_EQ(dialogs.Boxes.back().Text, "results.txt");
  EXPECT_EQ(dialogs.Boxes.back().Caption, "Operation status");
  EXPECT_EQ(States(), "111100");
}

TEST_F(RunTest, SaveResultsToATargetThatCannotBeCreated) {
  form->SaveLog->setEnabled(true);
  dialogs.Save(dir.File("missing/results.txt"));
  form->SaveLog->click();
  EXPECT_EQ(Captions(), std::vector<std::string>{"Cannot create file " + dir.File("missing/results.txt") +
                                                 ". | " + Application.Title()});
  EXPECT_EQ(States(), "000001");
}

TEST_F(RunTest, StopEndsTheRunAfterTheCurrentLine) {
  // Stop can be pressed while a list file is interpreted: messages run after
  // every line, while the entry is being handled.
  for (const char* name : {"one.log", "two.log"}) testutil::WriteFile(dir.File(name), "\r\n\r\n\r\n");
  AddFiles({dir.File("one.log"), dir.File("two.log")}, 3);
  int pumps = 0;
  form->OnMessages = [&] {
    ++pumps;
    if (form->Stop->isEnabled()) form->Stop->click();
  };
  Process(dir.File("out"));
  EXPECT_EQ(pumps, 3) << "one line, the item processor's pass and the walk's pass";
  EXPECT_EQ(Captions(), std::vector<std::string>{"Operation stopped! | Process status:"});
  EXPECT_EQ(ResultLog->Count(), 2);
  EXPECT_FALSE(form->Stop->isEnabled());
  EXPECT_EQ(form->Total->value(), 0);
  // One click stops one run.
  form->OnMessages = nullptr;
  Process(dir.File("out"));
  EXPECT_EQ(Captions().back(), kComplete);
  EXPECT_EQ(ResultLog->Count(), 4);
}

TEST_F(RunTest, StopClickedDuringAConversionStopsAFontMetricsRun) {
  AddFiles(fonts, 1);
  // A click made while the first font converts is handled after it, while Stop
  // is still enabled.
  form->OnMessages = [&] {
    if (form->Stop->isEnabled()) form->Stop->click();
  };
  Process(dir.File("out"));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Operation stopped! | Process status:"});
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), "#Format: MET\r\n#Source: " + fonts[0] + "\r\n");
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), (std::vector<std::string>{"a.bmp", "a.metrics", "result.log"}));
}

TEST_F(RunTest, ProcessPressedDuringARunDoesNothing) {
  AddFiles(fonts, 1);
  form->OnMessages = [&] {
    EXPECT_TRUE(form->BProcess->isEnabled());
    form->BProcess->click();
  };
  dialogs.FolderAnswers.push_back(dir.File("elsewhere"));
  Process(dir.File("out"));
  EXPECT_EQ(dialogs.OpenedOn.size(), 1u);
  EXPECT_EQ(ResultLog->Count(), 6);
  EXPECT_EQ(Captions(), std::vector<std::string>{kComplete});
}

TEST_F(RunTest, ARelativeFolderIsTakenFromTheWorkingFolder) {
  AddFiles(fonts, 1);
  Process("rel/out");
  EXPECT_EQ(OutputDir, dir.File("rel/out"));
  EXPECT_TRUE(testutil::Exists(dir.File("rel/out/a.bmp")));
  EXPECT_TRUE(testutil::Exists(dir.File("rel/out/result.log")));
  EXPECT_EQ(GetCurrentDir(), dir.File("rel/out"));
}

TEST_F(RunTest, AFolderEndingInASeparatorStillWorks) {
  AddFiles({fonts[0]}, 1);
  Process(dir.File("out") + "/");
  EXPECT_EQ(OutputDir, dir.File("out") + "/");
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), "#Format: MET\r\n#Source: " + fonts[0] + "\r\n");
}

TEST_F(RunTest, AnEmptyFolderNameCannotBeCreated) {
  AddFiles(fonts, 1);
  form->Results->setPlainText("typed");
  Process("");
  EXPECT_EQ(Captions(), std::vector<std::string>{"Unable to create directory. | " + Application.Title()});
  EXPECT_TRUE(form->Results->document()->isEmpty());
  EXPECT_TRUE(testutil::ListFolder(dir.File("out")).empty());
}

TEST_F(RunTest, ClosingDuringARunLetsItFinish) {
  form->show();
  AddFiles(fonts, 1);
  form->OnMessages = [&] {
    form->close();
    EXPECT_TRUE(form->isVisible());
  };
  Process(dir.File("out"));
  EXPECT_EQ(ResultLog->Count(), 6);
  EXPECT_EQ(Captions(), std::vector<std::string>{kComplete});
  EXPECT_FALSE(form->isVisible());
}

TEST_F(RunTest, TheListMayShrinkUnderARun) {
  AddFiles(fonts, 1);
  form->OnMessages = [&] {
    // Between entries, the user removes the last entry.
    if (!form->Stop->isEnabled() && form->LogList->count() > 1) {
      delete form->LogList->takeItem(form->LogList->count() - 1);
    }
  };
  Process(dir.File("out"));
  EXPECT_EQ(ResultLog->Count(), 4);
  EXPECT_EQ(Captions(), std::vector<std::string>{kComplete});
}

TEST_F(RunTest, ProgressStaysFullPastAHundredLines) {
  std::string list = "#Format: MET\r\n";
  for (int i = 0; i < 149; ++i) list += "\r\n";
  testutil::WriteFile(dir.File("in/long.log"), list);
  std::vector<int> progress;
  form->OnMessages = [&] { progress.push_back(form->Progress->value()); };
  AddFiles({dir.File("in/long.log")}, 3);
  Process(dir.File("out"));
  ASSERT_EQ(progress.size(), 152u);  // 150 lines, the item processor's and the walk's passes
  EXPECT_EQ(progress[98], 99);
  EXPECT_EQ(progress[99], 100);
  EXPECT_EQ(progress[149], 100);
  EXPECT_EQ(form->Progress->value(), 0) << "reset after the walk";
}

TEST_F(RunTest, AResultLogThatCannotBeCreatedEndsTheRunWithoutTheBox) {
  AddFiles(fonts, 1);
  testutil::WriteFile(dir.File("out/result.log"), "old");
  ::chmod(dir.File("out/result.log").c_str(), 0444);
  Process(dir.File("out"));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Cannot create file " + dir.File("out/result.log") + ". | " +
                                                 Application.Title()});
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), "old");
  EXPECT_EQ(ResultLog->Count(), 6) << "every entry was processed";
  EXPECT_TRUE(testutil::Exists(dir.File("out/c.metrics")));
}

TEST_F(RunTest, AFailedResultsWriteKeepsSaveResultsEnabled) {
  form->Results->setPlainText("typed");
  form->SaveLog->setEnabled(true);
  const std::string target = dir.File("results.txt");
  testutil::WriteFile(target, "old");
  dialogs.Save(target);
  {
    testutil::TDiskFullEnv diskFull(10);
    TScopedFileEnv scope(diskFull);
    form->SaveLog->click();
  }
  EXPECT_EQ(Captions(), std::vector<std::string>{"Failed to Save Stream. | " + Application.Title()});
  EXPECT_EQ(testutil::ReadFile(target), "old");
  EXPECT_TRUE(form->SaveLog->isEnabled());
}
