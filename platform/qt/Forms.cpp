#include "Forms.h"

#include <QFile>
#include <QGuiApplication>

#include "Exceptions.h"
#include "SysUtils.h"

namespace platform {

TApplication Application;

std::string ApplicationTitle(const std::string& programPath) {
  std::string name = ChangeFileExt(ExtractFileName(programPath), "");
  name = LowerCase(name);
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = char(name[0] - 'a' + 'A');
  return name;
}

QString ToQString(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FromQString(const QString& text) { return text.toLocal8Bit().toStdString(); }

void TApplication::Initialize(int& argc, char** argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // Qt aborts where it cannot open the display it is asked for. Unless a
  // platform was chosen, the usual ones are tried in turn and the offscreen one
  // last, so that a missing display can be told to the user instead.
  const bool chosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
  if (!chosen) {
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    const bool x11 = qEnvironmentVariableIsSet("DISPLAY");
    if (!wayland && !x11) {
      FDisplayFound = false;
      return;
    }
    qputenv("QT_QPA_PLATFORM", wayland && !x11 ? "wayland;xcb;offscreen" : "xcb;wayland;offscreen");
  }
  FQtApp = std::make_unique<QApplication>(argc, argv);
  if (!chosen) {
    qunsetenv("QT_QPA_PLATFORM");
    if (QGuiApplication::platformName() == "offscreen") FDisplayFound = false;
  }
#else
  FQtApp = std::make_unique<QApplication>(argc, argv);
#endif
  if (argc > 0) FTitle = ApplicationTitle(argv[0]);
  QApplication::setQuitOnLastWindowClosed(true);
}

int TApplication::Run() { return QApplication::exec(); }

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::ShowException(TDialogDriver& driver, const std::string& message) const {
  driver.MessageBox(ErrorBoxText(message), FTitle, TMsgIcon::miError);
}

void TApplication::Guard(TDialogDriver& driver, const std::function<void()>& handler) const {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowException(driver, e.what());
  } catch (...) {
    ShowException(driver, "Unknown error");
  }
}

}  // namespace platform
