#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "Exceptions.h"
#include "Forms.h"
#include "SelectDirDlg.h"
#include "SysUtils.h"

namespace platform {

bool TFileDialog::Execute() {
  const std::optional<TFileDialogResult> result = FDriver->Execute(*this, IsSaveDialog());
  if (!result || result->Files.empty()) return false;
  Files = result->Files;
  FileName = Files.front();
  FilterIndex = result->FilterIndex;
  return true;
}

bool SelectDirectory(TDialogDriver& driver, std::string& directory, unsigned options,
                     int /*helpContext: 0, no help button*/) {
  const std::optional<std::string> chosen = driver.SelectDirectory(directory, options);
  if (!chosen) return false;
  if ((options & sdPerformCreate) && !DirectoryExists(*chosen)) {
    if (chosen->empty()) throw EInOutError(SCannotCreateDir);
    ForceDirectories(*chosen);  // a failure shows when the first file is written there
  }
  directory = *chosen;
  return true;
}

namespace {

QString NameFilter(const TFilterEntry& entry) {
  // Qt reads the patterns from the parentheses of the shown text.
  const QString text = ToQString(entry.Text);
  const QString pattern = ToQString(entry.Pattern);
  return text.contains("(" + pattern + ")") ? text : text + " (" + pattern + ")";
}

}  // namespace

std::optional<TFileDialogResult> TQtDialogDriver::Execute(const TFileDialog& dialog, bool save) {
  QFileDialog box(Owner ? Owner : QApplication::activeWindow(), ToQString(dialog.Title));
  box.setOption(QFileDialog::DontUseNativeDialog);
  box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save) {
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !(dialog.Options & ofOverwritePrompt));
  } else {
    box.setFileMode((dialog.Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                          : QFileDialog::ExistingFile);
  }
  QStringList filters;
  for (const TFilterEntry& entry : dialog.Filter) filters << NameFilter(entry);
  box.setNameFilters(filters);
  const int index = dialog.FilterIndex - 1;
  if (index >= 0 && index < filters.size()) box.selectNameFilter(filters[index]);
  // A default extension of "*" adds nothing to a typed name.
  if (dialog.DefaultExt != "*") box.setDefaultSuffix(ToQString(dialog.DefaultExt));
  box.setDirectory(QString::fromLocal8Bit(GetCurrentDir().c_str()));
  box.setSizeGripEnabled(dialog.Options & ofEnableSizing);
  if (!(dialog.Options & ofEnableSizing)) box.setFixedSize(box.sizeHint());
  if (box.exec() != QDialog::Accepted) return std::nullopt;

  TFileDialogResult result;
  for (const QString& file : box.selectedFiles()) {
    result.Files.push_back(QFile::encodeName(file).toStdString());
  }
  result.FilterIndex = static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1;
  if (result.FilterIndex <= 0) result.FilterIndex = dialog.FilterIndex;
  return result;
}

std::optional<std::string> TQtDialogDriver::SelectDirectory(const std::string& directory,
                                                            unsigned options) {
  TSelectDirDlg box(directory, options, Owner ? Owner : QApplication::activeWindow());
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.Directory();
}

void TQtDialogDriver::MessageBox(const std::string& text, const std::string& caption,
                                 TMsgIcon icon) {
  QMessageBox box(icon == TMsgIcon::miError ? QMessageBox::Critical : QMessageBox::Information,
                  ToQString(caption), ToQString(text), QMessageBox::Ok,
                  Owner ? Owner : QApplication::activeWindow());
  box.exec();
}

}  // namespace platform
