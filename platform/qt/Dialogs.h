// The dialogs and message boxes of the class library. Every modal question goes
// through a TDialogDriver: the program installs TQtDialogDriver, which shows Qt's
// dialogs, and a test installs a driver that answers from a script.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// Options of the file dialogs.
enum TOpenOption : unsigned {
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofAllowMultiSelect = 1u << 9,
  ofPathMustExist = 1u << 11,
  ofFileMustExist = 1u << 12,
  ofEnableSizing = 1u << 23,
};

// Options of the folder dialog.
enum TSelectDirOpt : unsigned {
  sdAllowCreate = 1u << 0,
  sdPerformCreate = 1u << 1,
  sdPrompt = 1u << 2,
};

enum class TMsgIcon { miInformation, miError };

struct TFilterEntry {
  std::string Text;     // what the dialog shows
  std::string Pattern;  // the file pattern, e.g. "*.lst"
};

// What a file dialog hands back when the user accepts it.
struct TFileDialogResult {
  std::vector<std::string> Files;  // full paths, in the dialog's order
  int FilterIndex = 1;             // the filter entry in use, from 1
};

class TFileDialog;

class TDialogDriver {
 public:
  virtual ~TDialogDriver() = default;
  // A file dialog; no value on Cancel.
  virtual std::optional<TFileDialogResult> Execute(const TFileDialog& dialog, bool save) = 0;
  // The folder dialog, opened on directory, asking before accepting a missing
  // folder when options hold sdPrompt. The text of its edit box on OK.
  virtual std::optional<std::string> SelectDirectory(const std::string& directory,
                                                     unsigned options) = 0;
  virtual void MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) = 0;
};

// The settings and results of a file dialog.
class TFileDialog {
 public:
  explicit TFileDialog(TDialogDriver& driver) : FDriver(&driver) {}
  virtual ~TFileDialog() = default;

  std::string Title;
  std::vector<TFilterEntry> Filter;
  std::string DefaultExt;
  unsigned Options = 0;
  // The filter entry in use, from 1. Changes only when the user accepts.
  int FilterIndex = 1;
  // The first chosen file, and every chosen file, after an accepted dialog.
  std::string FileName;
  std::vector<std::string> Files;

  // True when the user accepts; FileName, Files and FilterIndex are then set.
  bool Execute();
  virtual bool IsSaveDialog() const = 0;

 private:
  TDialogDriver* FDriver;
};

class TOpenDialog : public TFileDialog {
 public:
  using TFileDialog::TFileDialog;
  bool IsSaveDialog() const override { return false; }
};

class TSaveDialog : public TFileDialog {
 public:
  using TFileDialog::TFileDialog;
  bool IsSaveDialog() const override { return true; }
};

// The folder dialog. On OK, directory becomes the text of its edit box and true
// is returned; with sdPerformCreate a missing folder is then created with its
// parents (a failure to create raises nothing), and an empty name raises
// "Unable to create directory". On Cancel directory is untouched.
bool SelectDirectory(TDialogDriver& driver, std::string& directory, unsigned options,
                     int helpContext);

// The driver that shows Qt's dialogs and boxes, owned by Owner (the main
// window, once there is one) or else by the active window.
class TQtDialogDriver : public TDialogDriver {
 public:
  QWidget* Owner = nullptr;

  std::optional<TFileDialogResult> Execute(const TFileDialog& dialog, bool save) override;
  std::optional<std::string> SelectDirectory(const std::string& directory,
                                             unsigned options) override;
  void MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) override;
};

}  // namespace platform
