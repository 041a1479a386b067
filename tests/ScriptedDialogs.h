// A dialog driver that answers from a script and records every box shown, so
// that a test can press the real buttons of the real window without a modal dialog.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"

class TScriptedDialogs : public platform::TDialogDriver {
 public:
  struct TBox {
    std::string Text, Caption;
    platform::TMsgIcon Icon;
  };

  // The answers of the next file dialogs: no value means Cancel.
  std::deque<std::optional<platform::TFileDialogResult>> FileAnswers;
  // The answers of the next folder dialogs: the edit box text, or Cancel.
  std::deque<std::optional<std::string>> FolderAnswers;
  std::vector<TBox> Boxes;
  // The settings of the file dialogs shown, in order.
  std::vector<std::string> FileDialogTitles;

  void Open(std::vector<std::string> files, int filterIndex) {
    FileAnswers.push_back(platform::TFileDialogResult{std::move(files), filterIndex});
  }
  void Save(const std::string& file, int filterIndex = 1) { Open({file}, filterIndex); }
  void Cancel() { FileAnswers.push_back(std::nullopt); }

  std::optional<platform::TFileDialogResult> Execute(const platform::TFileDialog& dialog,
                                                     bool) override {
    FileDialogTitles.push_back(dialog.Title);
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }
  std::optional<std::string> SelectDirectory(const std::string& directory, unsigned) override {
    OpenedOn.push_back(directory);
    if (FolderAnswers.empty()) return std::nullopt;
    auto answer = FolderAnswers.front();
    FolderAnswers.pop_front();
    return answer;
  }
  void MessageBox(const std::string& text, const std::string& caption,
                  platform::TMsgIcon icon) override {
    Boxes.push_back({text, caption, icon});
  }

  std::vector<std::string> OpenedOn;  // the folders the folder dialog opened on
};
