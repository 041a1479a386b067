// The fixture of the window tests: the real window with a scripted dialog
// driver, a temporary folder, and a hook into the message pump of a run.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTextEdit>
#include <QToolButton>
#include <functional>
#include <memory>

#include "Main.h"
#include "ScriptedDialogs.h"
#include "SysUtils.h"
#include "TestUtil.h"

// The window, with a hook that runs whenever a run lets messages through.
class TTestForm : public TMainForm {
 public:
  using TMainForm::TMainForm;
  void ProcessMessages() override {
    // The walk's pass after an entry: Stop is disabled between entries.
    if (!Stop->isEnabled()) Totals.push_back(Total->value());
    TMainForm::ProcessMessages();
    if (OnMessages) OnMessages();
  }
  std::function<void()> OnMessages;
  std::vector<int> Totals;  // Total's position at each pass of the walk
};

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    FSavedDir = platform::GetCurrentDir();
    platform::SetCurrentDir(dir.Path());
    form = std::make_unique<TTestForm>(dialogs);
  }
  void TearDown() override {
    form.reset();
    platform::SetCurrentDir(FSavedDir);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < form->EntryCount(); ++i) entries.push_back(form->Entry(i));
    return entries;
  }

  // Enabled states of BSaveList, BRemLog, BClearAll, BProcess, Stop, SaveLog.
  std::string States() const {
    std::string s;
    for (QWidget* w : std::initializer_list<QWidget*>{form->BSaveList, form->BRemLog, form->BClearAll,
                                                       form->BProcess, form->Stop, form->SaveLog}) {
      s += w->isEnabled() ? '1' : '0';
    }
    return s;
  }

  void AddFiles(std::vector<std::string> files, int filterIndex) {
    dialogs.Open(std::move(files), filterIndex);
    form->BAddLog->click();
  }

  testutil::TTempDir dir;
  TScriptedDialogs dialogs;
  std::unique_ptr<TTestForm> form;

 private:
  std::string FSavedDir;
};
