// The window as a desktop program: files dropped onto the list, the keyboard,
// sharp pictures at any scale, and Qt's own dialogs through the program's driver.
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "Dialogs.h"
#include "Forms.h"
#include "Pictures.h"
#include "WindowTest.h"

using namespace platform;

namespace {

// Drops files onto the input list as a file manager does.
void Drop(TMainForm& form, const std::vector<std::string>& files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const std::string& file : files) urls << QUrl::fromLocalFile(QFile::decodeName(file.c_str()));
  data.setUrls(urls);
  QWidget* target = form.LogList->viewport();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted()) << "the list takes dragged files";
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

}  // namespace

TEST_F(WindowTest, DroppedFilesAreAddedAsTheAddButtonWithTheirFilterAddsThem) {
  testutil::WriteFile(dir.File("p.lst"), "x.log\r\ny.log\r\n");
  const struct {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> entries;
    TInputKind mode;
    int filterIndex;
  } cases[] = {
      {"font metrics", {"/f/a.metrics", "/f/B.METRICS"}, {"/f/a.metrics", "/f/B.METRICS"}, ikMetrics, 1},
      {"logs replace the fonts", {"/l/1.log"}, {"/l/1.log"}, ikLog, 3},
      {"more logs are appended", {"/l/2.Log"}, {"/l/1.log", "/l/2.Log"}, ikLog, 3},
      {"a project list: its lines", {dir.File("p.lst")}, {"x.log", "y.log"}, ikProjectList, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Drop(*form, c.files);
    EXPECT_EQ(Entries(), c.entries);
    EXPECT_EQ(form->Mode(), c.mode);
    EXPECT_EQ(form->SelectLog.FilterIndex, c.filterIndex);
    EXPECT_EQ(States(), "111100");
  }
  EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(WindowTest, DroppedFilesOfMixedOrUnknownKindsAreRefused) {
  AddFiles({"/f/a.metrics"}, 1);
  const std::vector<std::string> refused[] = {
      {"/f/b.metrics", "/l/1.log"},
      {"/f/picture.bmp"},
      {"/f/b.metrics", "/f/notes"},
  };
  for (const auto& files : refused) {
    dialogs.Boxes.clear();
    Drop(*form, files);
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << files.back();
    EXPECT_EQ(dialogs.Boxes[0].Icon, TMsgIcon::miError);
    EXPECT_EQ(Entries(), std::vector<std::string>{"/f/a.metrics"}) << "the list stays as it was";
    EXPECT_EQ(form->Mode(), ikMetrics);
    EXPECT_EQ(form->SelectLog.FilterIndex, 1);
    EXPECT_EQ(States(), "111100");
  }
  EXPECT_NE(dialogs.Boxes[0].Text.find("notes cannot be added"), std::string::npos);
}

TEST_F(WindowTest, TheDeleteKeyRemovesTheSelectedEntries) {
  AddFiles({"/f/a.metrics", "/f/b.metrics", "/f/c.metrics"}, 1);
  form->LogList->item(1)->setSelected(true);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(form->LogList, &press);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"/f/a.metrics", "/f/c.metrics"}));
  form->LogList->selectAll();
  QApplication::sendEvent(form->LogList, &press);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(States(), "000000");
}

TEST_F(WindowTest, TabLeavesTheResultsPanel) {
  form->show();
  QApplication::setActiveWindow(form.get());
  form->Results->setFocus();
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(form->Results, &tab);
  EXPECT_EQ(form->Results->toPlainText(), "") << "no tab character typed";
  EXPECT_FALSE(form->Results->hasFocus());
}

TEST(Pictures, AreDrawnAtTheScreensPixelRatio) {
  for (qreal ratio : {1.0, 2.0, 1.5}) {
    for (int i = 0; i < kPictureCount; ++i) {
      const QPixmap picture = ToolPicture(i, ratio);
      EXPECT_EQ(picture.devicePixelRatio(), ratio);
      EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(16, 16));
      EXPECT_EQ(picture.width(), qCeil(16 * ratio)) << "drawn in the screen's own pixels";
      const QPixmap grey = GreyPicture(picture);
      EXPECT_EQ(grey.devicePixelRatio(), ratio);
    }
  }
  // At twice the scale, the picture is drawn anew, not blown up: a blown-up
  // picture has every 2 x 2 block of pixels alike.
  const QImage sharp = ToolPicture(3, 2.0).toImage();
  bool blocky = true;
  for (int y = 0; y < 32 && blocky; y += 2) {
    for (int x = 0; x < 32 && blocky; x += 2) {
      const QRgb c = sharp.pixel(x, y);
      blocky = c == sharp.pixel(x + 1, y) && c == sharp.pixel(x, y + 1) && c == sharp.pixel(x + 1, y + 1);
    }
  }
  EXPECT_FALSE(blocky);
}

namespace {

// Runs check on the modal dialog that the driver shows, then closes it by
// accept (true) or reject.
void OnModal(const std::function<void(QWidget*)>& check, bool accept) {
  QTimer::singleShot(0, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      ADD_FAILURE() << "no modal dialog";
      return;
    }
    check(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) accept ? dialog->accept() : dialog->reject();
  });
}

}  // namespace

TEST(QtDialogDriver, ShowsTheWindowsFileDialogsAsQtsOwnAndHandsBackTheChoice) {
  testutil::TTempDir dir;
  testutil::WriteFile(dir.File("a.log"), "");
  const std::string saved = GetCurrentDir();
  SetCurrentDir(dir.Path());
  TQtDialogDriver driver;
  TMainForm form(driver);
  driver.Owner = &form;
  form.SelectLog.FilterIndex = 3;
  OnModal(
      [&](QWidget* modal) {
        auto* box = qobject_cast<QFileDialog*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), "Select file...");
        EXPECT_EQ(box->parentWidget(), &form) << "owned by the main window";
        EXPECT_EQ(box->nameFilters(), (QStringList{"Font Metrics (*.metrics)", "Project list files (*.lst)",
                                                   "Log files (*.log)"}));
        EXPECT_EQ(box->selectedNameFilter(), "Log files (*.log)");
        EXPECT_EQ(box->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(box->defaultSuffix(), "") << "a default extension of * adds none";
        box->selectFile("a.log");
      },
      true);
  ASSERT_TRUE(form.SelectLog.Execute());
  EXPECT_EQ(form.SelectLog.FilterIndex, 3);
  EXPECT_EQ(form.SelectLog.Files, std::vector<std::string>{dir.File("a.log")});

  OnModal(
      [&](QWidget* modal) {
        auto* box = qobject_cast<QFileDialog*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), "Select target...");
        EXPECT_EQ(box->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(box->defaultSuffix(), "txt");
        EXPECT_EQ(box->selectedNameFilter(), "Text files (*.txt)");
      },
      false);
  EXPECT_FALSE(form.SaveRes.Execute()) << "cancelled";
  driver.Owner = nullptr;
  SetCurrentDir(saved);
}

TEST(QtDialogDriver, MessageBoxesBelongToTheMainWindow) {
  QWidget owner, other;
  other.show();
  QApplication::setActiveWindow(&other);  // another window is active
  TQtDialogDriver driver;
  driver.Owner = &owner;
  OnModal(
      [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->parentWidget(), &owner);
        EXPECT_EQ(box->text(), "Operation complete!");
        EXPECT_EQ(box->windowTitle(), "Process status:");
        EXPECT_EQ(box->icon(), QMessageBox::Information);
      },
      true);
  driver.MessageBox("Operation complete!", "Process status:", TMsgIcon::miInformation);
}

TEST_F(WindowTest, TheGroupBoxFrameRunsAboveItsContentsWithTheTitleInIt) {
  form->show();
  QGroupBox* box = form->GroupBox1;
  const QImage image = box->grab().toImage();
  const int top = QFontMetrics(box->font()).height() / 2;
  const QRgb frame = box->palette().color(QPalette::Mid).rgb();
  EXPECT_EQ(image.pixel(300, top), frame) << "the top line, where no title stands";
  EXPECT_EQ(image.pixel(0, 40), frame) << "the left line";
  const int titleWidth = QFontMetrics(box->font()).horizontalAdvance(box->title());
  for (int x = 10; x < 8 + titleWidth - 2; ++x) EXPECT_NE(image.pixel(x, top), frame) << "the title at " << x;
  // Every component keeps its place, below the frame's top line.
  for (QWidget* child : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    EXPECT_GT(child->y(), top + 1) << child->objectName().toStdString();
  }
  EXPECT_EQ(form->Stop->geometry(), QRect(612, 10, 71, 19));
  EXPECT_EQ(form->Total->geometry(), QRect(12, 48, 671, 13));
}
