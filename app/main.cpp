// extractinsert: the window program. It reads no command line and keeps no
// settings; everything is chosen in its dialogs.
#include <cstdio>
#include <memory>

#include "Forms.h"
#include "Main.h"

using namespace platform;

int main(int argc, char** argv) {
  // The static tables and OutputDir are filled before the window exists.
  Application.Initialize(argc, argv);
  if (!Application.DisplayFound()) {
    std::fputs("extractinsert: no display was found, so the window cannot open.\n"
               "extractinsert-batch does the same work without one; see extractinsert-batch --help.\n",
               stderr);
    Application.Finalize();
    return 1;
  }
  TQtDialogDriver dialogs;
  std::unique_ptr<TMainForm> MainForm;
  Application.Guard(dialogs, [&] {
    MainForm = std::make_unique<TMainForm>(dialogs);
    // Every box and dialog belongs to the main window.
    dialogs.Owner = MainForm.get();
    MainForm->show();
    Application.Run();
  });
  dialogs.Owner = nullptr;
  MainForm.reset();  // FormDestroy runs here
  Application.Finalize();
  return 0;
}
