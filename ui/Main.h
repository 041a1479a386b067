// TMainForm: the tool's one window. It collects the inputs of a run in LogList,
// runs them with Process, and shows the run's progress in the group box below
// the results panel. The run itself lives in run/; the window is its host.
#pragma once

#include <QToolButton>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Run.h"

class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QTextEdit;

// A list of same-sized pictures, shown by index.
class TImageList {
 public:
  std::vector<QPixmap> Images;
};

// A push button with a Tag, as the group box's buttons are.
class TSpeedButton : public QToolButton {
 public:
  using QToolButton::QToolButton;
  int Tag = 0;
};

class TMainForm : public QWidget, public TRunHost {
  Q_OBJECT

 public:
  // Every dialog and message box of the window goes through dialogs.
  explicit TMainForm(platform::TDialogDriver& dialogs, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Published components, in declaration order.
  QFrame* ToolBar1 = nullptr;
  TImageList Enabled;
  TImageList Disabled;
  QToolButton* BAddLog = nullptr;
  QToolButton* BRemLog = nullptr;
  QToolButton* BProcess = nullptr;
  QToolButton* BExit = nullptr;
  QListWidget* LogList = nullptr;
  platform::TSaveDialog SaveLST;
  QToolButton* BSaveList = nullptr;
  QTextEdit* Results = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* PFile = nullptr;
  QProgressBar* Progress = nullptr;
  QLabel* CurrentMessage = nullptr;
  TSpeedButton* Stop = nullptr;
  TSpeedButton* SaveLog = nullptr;
  platform::TSaveDialog SaveRes;
  QLabel* Extracted = nullptr;
  QProgressBar* Total = nullptr;
  QToolButton* BClearAll = nullptr;
  platform::TOpenDialog SelectLog;

  // Published handlers, in declaration order.
  void BExitClick(QObject* sender);
  void BAddLogClick(QObject* sender);
  void BRemLogClick(QObject* sender);
  void BProcessClick(QObject* sender);
  void BSaveListClick(QObject* sender);
  void FormCreate(QObject* sender);
  void StopClick(QObject* sender);
  void FormDestroy(QObject* sender);
  void SaveLogClick(QObject* sender);
  void BClearAllClick(QObject* sender);

  // The item processor: handles one entry of a run.
  void ProcessItem(TInputKind kind, const std::string& entry);

  // Appends an entry to the input list; entries keep their 8-bit bytes.
  void AddEntry(const std::string& entry);

  // Files dropped onto the input list: all of one kind, told by extension,
  // they are added as the add button adds the files of that filter; mixed
  // kinds, or a file of no known kind, are refused with a message box.
  void DropFiles(const std::vector<std::string>& files);

  TInputKind Mode() const override { return FMode; }
  bool RunInProgress() const { return FRunning; }

  // TRunHost.
  void SetStatusText(const std::string& text) override;
  void SetTotalMax(int max) override;
  void SetTotalPosition(int position) override;
  void StepProgress() override;
  void ProcessMessages() override;
  bool StopRequested() const override;
  int EntryCount() const override;
  std::string Entry(int index) const override;
  std::string FormatName() const override;
  void ProcessEntry(TInputKind kind, const std::string& entry) override;
  void ResetStatus() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateComponents();
  void LayOutGroupBox();
  void ConnectHandlers();
  // Runs a handler; an error ends it and is shown in the error box.
  void Guard(const std::function<void()>& handler);
  void SetListButtons(bool enabled);
  // The add: the buttons, then choose() (true when files were chosen into
  // SelectLog), then the change of kind and the new entries.
  void AddInputs(const std::function<bool()>& choose);

  platform::TDialogDriver& FDialogs;
  std::function<void(TInputKind, const std::string&)> FProcessItem;
  TInputKind FMode = 0;
  bool FRunning = false;
  bool FCloseRequested = false;
  bool FCentred = false;
};
