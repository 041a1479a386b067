// The application object: start-up, the message loop and the error box.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "Dialogs.h"
#include "Exceptions.h"

namespace platform {

// The application's title: the program file's name without folder and
// extension, its first letter upper case and every other letter lower case.
std::string ApplicationTitle(const std::string& programPath);

// Converts between the 8-bit strings of the system and Qt's text, for display only.
QString ToQString(const std::string& bytes);
std::string FromQString(const QString& text);

class TApplication {
 public:
  // Creates the Qt application; argv[0] gives the title.
  void Initialize(int& argc, char** argv);
  // False when no display could be opened (Initialize has then made no
  // window system connection); the program should say so and end.
  bool DisplayFound() const { return FDisplayFound; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(std::string title) { FTitle = std::move(title); }

  // Shows the main window, centred, and handles messages until the last window closes.
  int Run();
  // Ends the Qt application; the last step before the program returns.
  void Finalize() { FQtApp.reset(); }
  // Lets every pending window message run, then returns.
  static void ProcessMessages();

  // Shows the error box for the exception in flight or for message.
  void ShowException(TDialogDriver& driver, const std::string& message) const;

  // Runs handler; an exception that escapes it is shown in the error box and
  // never reaches Qt's event loop.
  void Guard(TDialogDriver& driver, const std::function<void()>& handler) const;

 private:
  std::unique_ptr<QApplication> FQtApp;
  bool FDisplayFound = true;
  std::string FTitle = "Extractinsert";
};

extern TApplication Application;

}  // namespace platform
