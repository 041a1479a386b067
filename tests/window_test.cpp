// The window right after start-up, the error box, and the input list handlers.
#include <sys/stat.h>

#include <QApplication>
#include <QCloseEvent>

#include <QLineEdit>
#include <QPushButton>

#include "Forms.h"
#include "SelectDirDlg.h"
#include "WindowTest.h"

using namespace platform;
using testutil::TTempDir;

TEST_F(WindowTest, RightAfterStartUp) {
  EXPECT_EQ(form->windowTitle(), QString("Extract\\Insert Tool"));
  EXPECT_EQ(form->size(), QSize(688, 464));
  EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window cannot be resized";
  EXPECT_EQ(States(), "000000");
  EXPECT_TRUE(form->BAddLog->isEnabled());
  EXPECT_TRUE(form->BExit->isEnabled());
  EXPECT_EQ(form->LogList->count(), 0);
  EXPECT_TRUE(form->Results->document()->isEmpty());
  EXPECT_EQ(form->CurrentMessage->text(), "");
  EXPECT_EQ(form->PFile->text(), "");
  EXPECT_EQ(form->Extracted->text(), "Extracted: 0");
  EXPECT_EQ(form->GroupBox1->title(), " Process ");
  EXPECT_EQ(form->Stop->text(), "Stop");
  EXPECT_EQ(form->SaveLog->text(), "Save results");
  for (QProgressBar* bar : {form->Progress, form->Total}) {
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
  }
  EXPECT_EQ(form->Mode(), 0);
  ASSERT_TRUE(ResultLog && ListLines);
  EXPECT_EQ(ResultLog->Count() + ListLines->Count(), 0);
  EXPECT_EQ(form->SelectLog.FilterIndex, 1);
}

TEST_F(WindowTest, ComponentsStandWhereTheLayoutPutsThem) {
  const struct {
    const char* name;
    QRect place;
  } cases[] = {
      {"LogList", {0, 26, 688, 189}},   {"Results", {0, 215, 688, 183}},
      {"GroupBox1", {0, 398, 688, 66}}, {"Stop", {612, 10, 71, 19}},
      {"SaveLog", {506, 10, 105, 19}},  {"Progress", {12, 32, 671, 13}},
      {"Total", {12, 48, 671, 13}},
  };
  for (const auto& c : cases) {
    const QWidget* w = form->findChild<QWidget*>(c.name);
    ASSERT_TRUE(w) << c.name;
    EXPECT_EQ(w->geometry(), c.place) << c.name;
  }
  EXPECT_EQ(form->findChild<QWidget*>("ToolBar1")->height(), 26);
  int left = 0;
  for (const char* name : {"BAddLog", "BSaveList", "BRemLog", "BClearAll", "BProcess", "BExit"}) {
    const QWidget* button = form->findChild<QWidget*>(name);
    ASSERT_TRUE(button) << name;
    EXPECT_EQ(button->width(), 23);
    EXPECT_EQ(button->height(), 22);
    EXPECT_EQ(button->x() - form->BAddLog->x(), left) << name;
    left += 23;
  }
  EXPECT_EQ(form->Enabled.Images.size(), 6u);
  EXPECT_EQ(form->Disabled.Images.size(), 6u);
  EXPECT_EQ(form->Enabled.Images[0].size(), QSize(16, 16));
  // A disabled tool bar button shows its grey picture.
  EXPECT_EQ(form->BSaveList->icon().pixmap(QSize(16, 16), QIcon::Disabled).toImage(),
            form->Disabled.Images[1].toImage());
  EXPECT_EQ(form->BAddLog->icon().pixmap(QSize(16, 16), QIcon::Normal).toImage(),
            form->Enabled.Images[0].toImage());
  EXPECT_EQ(form->LogList->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(form->SelectLog.Filter.size(), 3u);
}

TEST(ErrorBox, AppendsAFullStopByItsRule) {
  static const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Cannot open file /a/b.lst", "Cannot open file /a/b.lst."},
      {"Operation failed.", "Operation failed."},
      {"Done!", "Done!"},
      {"trailing space ", "trailing space "},
      {"ends in a comma,", "ends in a comma,"},
      {"ends in a slash/", "ends in a slash/."},
      {"Stream write error", "Stream write error."},
      {"", ""},
      {"\xE9t\xE9", "\xE9t\xE9."},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
  EXPECT_EQ(ApplicationTitle("/usr/bin/extractinsert"), "Extractinsert");
  EXPECT_EQ(ApplicationTitle("C:\\Tools\\EXTRACTINSERT.EXE"), "Extractinsert");
}

TEST_F(WindowTest, AnErrorInAHandlerIsShownAndLeavesTheWindowUsable) {
  form->LogList->addItem("x");
  form->AddEntry("entry");
  dialogs.Save(dir.File("no/such/folder/list.lst"));
  form->BSaveList->setEnabled(true);
  form->BSaveList->click();
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "Cannot create file " + dir.File("no/such/folder/list.lst") + ".");
  EXPECT_EQ(dialogs.Boxes[0].Caption, Application.Title());
  EXPECT_EQ(dialogs.Boxes[0].Icon, TMsgIcon::miError);
  EXPECT_EQ(form->LogList->count(), 2);
}

TEST_F(WindowTest, CancelledAddChangesNothingButTheButtons) {
  dialogs.Cancel();
  form->BAddLog->click();
  EXPECT_EQ(States(), "000000");
  AddFiles({"/f/a.metrics"}, 1);
  dialogs.Cancel();
  form->BAddLog->click();
  EXPECT_EQ(Entries(), std::vector<std::string>{"/f/a.metrics"});
  EXPECT_EQ(form->Mode(), ikMetrics);
  EXPECT_EQ(form->SelectLog.FilterIndex, 1);
  EXPECT_EQ(States(), "111100");
}

TEST_F(WindowTest, AddingAppendsWithinAKindAndEmptiesOnAChangeOfKind) {
  AddFiles({"/f/a.metrics", "/f/b.metrics"}, 1);
  AddFiles({"/f/a.metrics"}, 1);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"/f/a.metrics", "/f/b.metrics", "/f/a.metrics"}));
  EXPECT_EQ(form->Mode(), ikMetrics);
  AddFiles({"/l/1.log"}, 3);
  AddFiles({"/l/2.log"}, 3);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"/l/1.log", "/l/2.log"}));
  EXPECT_EQ(form->Mode(), ikLog);
  EXPECT_EQ(States(), "111100");
}

TEST_F(WindowTest, AProjectListReplacesTheListWithItsLines) {
  testutil::WriteFile(dir.File("one.lst"), "a\r\n\r\n b \nc\rd");
  testutil::WriteFile(dir.File("two.lst"), "x\r\n");
  AddFiles({"/l/1.log"}, 3);
  AddFiles({dir.File("one.lst"), dir.File("two.lst")}, 2);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "", " b ", "c", "d"}));
  EXPECT_EQ(form->Mode(), ikProjectList);
  AddFiles({dir.File("two.lst")}, 2);
  EXPECT_EQ(Entries(), std::vector<std::string>{"x"});
  EXPECT_EQ(States(), "111100");
}

TEST_F(WindowTest, AnEmptyProjectListLeavesTheListEmptyAndClearAllAsItWas) {
  testutil::WriteFile(dir.File("empty.lst"), "");
  AddFiles({"/f/a.metrics"}, 1);
  AddFiles({dir.File("empty.lst")}, 2);
  EXPECT_EQ(form->LogList->count(), 0);
  EXPECT_EQ(form->Mode(), ikProjectList);
  EXPECT_EQ(States(), "001000") << "BClearAll keeps its state";
  form->BClearAll->click();
  EXPECT_EQ(States(), "000000");
}

TEST_F(WindowTest, AListThatCannotBeReadCostsNothing) {
  AddFiles({"/f/a.metrics", "/f/b.metrics"}, 1);
  const std::string missing = dir.File("missing.lst");
  AddFiles({missing}, 2);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "Cannot open file " + missing + ".");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"/f/a.metrics", "/f/b.metrics"}));
  EXPECT_EQ(form->Mode(), ikMetrics);
  EXPECT_EQ(form->SelectLog.FilterIndex, 1) << "the run log must still name MET";
  EXPECT_EQ(States(), "111100");
}

TEST_F(WindowTest, RemoveTakesEverySelectedEntry) {
  const struct {
    const char* name;
    std::vector<int> selected;
    std::vector<std::string> left;
  } cases[] = {
      {"adjacent", {1, 2}, {"0", "3", "4"}},
      {"scattered", {0, 2, 4}, {"1", "3"}},
      {"nothing selected", {}, {"0", "1", "2", "3", "4"}},
      {"all", {0, 1, 2, 3, 4}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form->BClearAll->setEnabled(true);
    form->BClearAll->click();
    AddFiles({"0", "1", "2", "3", "4"}, 3);
    form->LogList->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    for (int i : c.selected) form->LogList->item(i)->setSelected(true);
    form->BRemLog->click();
    EXPECT_EQ(Entries(), c.left);
    EXPECT_TRUE(form->LogList->selectedItems().isEmpty());
    if (c.left.empty()) {
      EXPECT_EQ(States(), "000000");
      EXPECT_EQ(form->LogList->currentRow(), -1);
    } else {
      EXPECT_EQ(States(), "111100");
      EXPECT_EQ(form->LogList->currentRow(), int(c.left.size()) - 1) << "focus on the last entry";
    }
    EXPECT_EQ(form->Mode(), ikLog);
  }
}

TEST_F(WindowTest, ClearEmptiesTheListAndKeepsTheKind) {
  AddFiles({"/l/1.log"}, 3);
  form->BClearAll->click();
  EXPECT_EQ(form->LogList->count(), 0);
  EXPECT_EQ(States(), "000000");
  EXPECT_EQ(form->Mode(), ikLog);
}

TEST_F(WindowTest, SavedListLoadsBackByteForByte) {
  const std::vector<std::string> entries = {"/f/a b.metrics", "/f/\xC0\xE9\xFF.metrics", "/f/c.metrics"};
  AddFiles(entries, 1);
  dialogs.Save(dir.File("list.lst"));
  form->BSaveList->click();
  EXPECT_EQ(testutil::ReadFile(dir.File("list.lst")),
            "/f/a b.metrics\r\n/f/\xC0\xE9\xFF.metrics\r\n/f/c.metrics\r\n");
  EXPECT_TRUE(dialogs.Boxes.empty()) << "nothing is reported on success";
  EXPECT_EQ(States(), "111100");
  AddFiles({dir.File("list.lst")}, 2);
  EXPECT_EQ(Entries(), entries);
  EXPECT_EQ(dialogs.FileDialogTitles, (std::vector<std::string>{"Select file...", "Select file...", "Select file..."}));
}

TEST_F(WindowTest, ASaveTargetThatCannotBeCreatedChangesNothing) {
  AddFiles({"/f/a.metrics"}, 1);
  const std::string target = dir.File("ro.lst");
  testutil::WriteFile(target, "old\r\n");
  ::chmod(target.c_str(), 0444);
  dialogs.Save(target);
  form->BSaveList->click();
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "Cannot create file " + target + ".");
  EXPECT_EQ(testutil::ReadFile(target), "old\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"/f/a.metrics"});
  EXPECT_EQ(States(), "111100");
}

TEST_F(WindowTest, ExitClosesTheWindow) {
  form->show();
  ASSERT_TRUE(form->isVisible());
  form->BExit->click();
  EXPECT_FALSE(form->isVisible());
}

TEST(FolderDialog, ShowsTheOpenFolderAndOpensSubFolders) {
  TTempDir dir;
  ::mkdir(dir.File("sub").c_str(), 0755);
  testutil::WriteFile(dir.File("a.metrics"), "");
  TSelectDirDlg box(dir.Path(), sdAllowCreate | sdPerformCreate | sdPrompt);
  EXPECT_EQ(box.windowTitle(), "Select Directory");
  QStringList labels;
  for (const QLabel* label : box.findChildren<QLabel*>()) labels << label->text();
  labels.sort();
  EXPECT_EQ(labels, QStringList({"&Directories:", "&Files: (*.*)", "D&rives:", "Directory &Name:"}));
  QStringList buttons;
  for (const QPushButton* button : box.findChildren<QPushButton*>()) buttons << button->text();
  EXPECT_EQ(buttons, QStringList({"OK", "Cancel"}));
  EXPECT_EQ(box.Directory(), dir.Path());
  EXPECT_FALSE(box.DirEdit->isReadOnly()) << "a new folder's name can be typed";
  ASSERT_EQ(box.FileList->count(), 1);
  EXPECT_EQ(box.FileList->item(0)->text(), "a.metrics");
  const QList<QListWidgetItem*> sub = box.DirList->findItems("sub", Qt::MatchEndsWith);
  ASSERT_EQ(sub.size(), 1);
  emit box.DirList->itemActivated(sub[0]);
  EXPECT_EQ(box.Directory(), dir.File("sub"));
  box.DirEdit->setText("typed/new");
  EXPECT_EQ(box.Directory(), "typed/new") << "the edit box text, unchanged";
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  testing::InitGoogleTest(&argc, argv);
  Application.Initialize(argc, argv);
  Application.SetTitle("Extractinsert");
  QApplication::setQuitOnLastWindowClosed(false);
  const int result = RUN_ALL_TESTS();
  Application.Finalize();
  return result;
}
