#include "SelectDirDlg.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>

#include "Dialogs.h"
#include "Forms.h"

namespace platform {

namespace {
constexpr int kPathRole = Qt::UserRole;
}

TSelectDirDlg::TSelectDirDlg(const std::string& directory, unsigned options, QWidget* parent)
    : QDialog(parent), FOptions(options) {
  setWindowTitle("Select Directory");
  setModal(true);

  DirEdit = new QLineEdit(this);
  DirEdit->setReadOnly(!(options & sdAllowCreate));
  DirList = new QListWidget(this);
  FileList = new QListWidget(this);
  FileList->setSelectionMode(QAbstractItemView::NoSelection);
  FileList->setFocusPolicy(Qt::NoFocus);
  QPalette grey = FileList->palette();
  grey.setColor(QPalette::Text, QColor(Qt::gray));
  FileList->setPalette(grey);
  DriveList = new QComboBox(this);
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (volume.isValid() && volume.isReady()) DriveList->addItem(volume.rootPath());
  }
  if (DriveList->findText("/") < 0) DriveList->insertItem(0, "/");

  auto* nameLabel = new QLabel("Directory &Name:", this);
  nameLabel->setBuddy(DirEdit);
  auto* dirLabel = new QLabel("&Directories:", this);
  dirLabel->setBuddy(DirList);
  auto* fileLabel = new QLabel("&Files: (*.*)", this);
  fileLabel->setBuddy(FileList);
  auto* driveLabel = new QLabel("D&rives:", this);
  driveLabel->setBuddy(DriveList);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(nameLabel, 0, 0, 1, 2);
  grid->addWidget(DirEdit, 1, 0, 1, 2);
  grid->addWidget(dirLabel, 2, 0);
  grid->addWidget(fileLabel, 2, 1);
  grid->addWidget(DirList, 3, 0);
  grid->addWidget(FileList, 3, 1);
  grid->addWidget(driveLabel, 4, 0);
  grid->addWidget(DriveList, 5, 0);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 5, 1);

  connect(ok, &QPushButton::clicked, this, &TSelectDirDlg::OkClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(DirList, &QListWidget::itemActivated, this, &TSelectDirDlg::DirListActivated);
  DirList->installEventFilter(this);
  connect(DriveList, &QComboBox::textActivated, this, &TSelectDirDlg::OpenFolder);

  OpenFolder(ToQString(directory));
  resize(480, 340);
}

std::string TSelectDirDlg::Directory() const { return FromQString(DirEdit->text()); }

void TSelectDirDlg::OpenFolder(const QString& folder) {
  QDir dir(folder);
  if (!dir.exists()) return;
  FFolder = QDir::cleanPath(dir.absolutePath());
  DirEdit->setText(QDir::toNativeSeparators(FFolder));

  DirList->clear();
  // The path from the root down to the open folder, each step indented.
  QStringList parts = FFolder.split('/', Qt::SkipEmptyParts);
  QString path = "/";
  auto* root = new QListWidgetItem("/", DirList);
  root->setData(kPathRole, path);
  int depth = 1;
  for (const QString& part : parts) {
    path = path.endsWith('/') ? path + part : path + "/" + part;
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + part, DirList);
    item->setData(kPathRole, path);
    ++depth;
  }
  DirList->setCurrentRow(DirList->count() - 1);
  const QDir open(FFolder);
  for (const QString& sub : open.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + sub, DirList);
    item->setData(kPathRole, open.filePath(sub));
  }
  FileList->clear();
  FileList->addItems(open.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name));
}

void TSelectDirDlg::DirListActivated(QListWidgetItem* item) {
  if (item) OpenFolder(item->data(kPathRole).toString());
}

bool TSelectDirDlg::eventFilter(QObject* watched, QEvent* event) {
  // Enter on a folder opens it; it does not press OK.
  if (watched == DirList && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      DirListActivated(DirList->currentItem());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TSelectDirDlg::OkClick() {
  const QString text = DirEdit->text();
  if ((FOptions & sdPrompt) && (text.isEmpty() || !QDir(text).exists())) {
    const auto answer = QMessageBox::question(
        this, windowTitle(), "The specified directory does not exist. Create it?",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
  }
  accept();
}

}  // namespace platform
