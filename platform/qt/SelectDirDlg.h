// The folder dialog "Select Directory": an editable folder name, the folder
// list from the root down to the open folder with its sub-folders, the files of
// the open folder in grey, the drive list, OK and Cancel.
#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace platform {

class TSelectDirDlg : public QDialog {
  Q_OBJECT

 public:
  TSelectDirDlg(const std::string& directory, unsigned options, QWidget* parent = nullptr);

  // The text of the edit box, unchanged.
  std::string Directory() const;

  QLineEdit* DirEdit = nullptr;
  QListWidget* DirList = nullptr;
  QListWidget* FileList = nullptr;
  QComboBox* DriveList = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OpenFolder(const QString& folder);
  void DirListActivated(QListWidgetItem* item);
  void OkClick();

  unsigned FOptions;
  QString FFolder;
};

}  // namespace platform
