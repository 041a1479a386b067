#include "Forms.h"

#include <QFile>

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
  FQtApp = std::make_unique<QApplication>(argc, argv);
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
