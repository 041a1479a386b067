// extractinsert: the window program. It reads no command line and keeps no
// settings; everything is chosen in its dialogs.
#include <memory>

#include "Forms.h"
#include "Main.h"

using namespace platform;

int main(int argc, char** argv) {
  // The static tables and OutputDir are filled before the window exists.
  Application.Initialize(argc, argv);
  TQtDialogDriver dialogs;
  std::unique_ptr<TMainForm> MainForm;
  Application.Guard(dialogs, [&] {
    MainForm = std::make_unique<TMainForm>(dialogs);
    MainForm->show();
    Application.Run();
  });
  MainForm.reset();  // FormDestroy runs here
  Application.Finalize();
  return 0;
}
