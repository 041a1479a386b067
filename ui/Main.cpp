#include "Main.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QFrame>
#include <QGroupBox>
#include <QPainter>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QTextEdit>
#include <QToolButton>
#include <algorithm>

#include "Exceptions.h"
#include "Forms.h"
#include "Formathandlers.h"
#include "Pictures.h"
#include "RichText.h"
#include "SysUtils.h"

using namespace platform;

namespace {

constexpr int kClientWidth = 688;
constexpr int kClientHeight = 464;
constexpr int kToolButtonWidth = 23;
constexpr int kToolButtonHeight = 22;
constexpr int kEntryRole = Qt::UserRole;  // an entry's original bytes

QFont WindowFont() {
  // The design font; where it is missing, the closest sans serif stands in.
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

// A group box drawn as the layout means it: its frame starts half a line of
// text below its top, the title stands in the frame's top line, and the
// contents, placed from the top of the box, stay below that line.
class TGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    const QRect frame(0, top, width() - 1, height() - top - 1);
    // An etched frame: a dark line with a light one beside it.
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.adjusted(1, 1, 0, 0));
    const QString text = title();
    const int textWidth = metrics.horizontalAdvance(text);
    const QRect titleRect(kTitleLeft, 0, textWidth, metrics.height());
    p.fillRect(titleRect, palette().color(QPalette::Window));
    p.setPen(palette().color(isEnabled() ? QPalette::WindowText : QPalette::PlaceholderText));
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, text);
  }

 private:
  static constexpr int kTitleLeft = 8;
};

}  // namespace

TMainForm::TMainForm(TDialogDriver& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      SaveLST(dialogs),
      SaveRes(dialogs),
      SelectLog(dialogs),
      FDialogs(dialogs) {
  CreateComponents();
  ConnectHandlers();
  Guard([this] { FormCreate(this); });
}

TMainForm::~TMainForm() {
  Guard([this] { FormDestroy(this); });
}

void TMainForm::CreateComponents() {
  setObjectName("MainForm");
  setWindowTitle("Extract\\Insert Tool");
  setWindowIcon(ApplicationIcon());
  setFixedSize(kClientWidth, kClientHeight);
  setFont(WindowFont());
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  for (int i = 0; i < kPictureCount; ++i) {
    Enabled.Images.push_back(ToolPicture(i));
    Disabled.Images.push_back(GreyPicture(Enabled.Images.back()));
  }

  ToolBar1 = new QFrame(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  ToolBar1->setGeometry(0, 0, kClientWidth, 26);
  auto toolButton = [this](const char* name, int left, int picture, bool enabled) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setGeometry(left + 2, 2, kToolButtonWidth, kToolButtonHeight);
    QIcon icon;
    icon.addPixmap(Enabled.Images[picture], QIcon::Normal);
    icon.addPixmap(Disabled.Images[picture], QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setEnabled(enabled);
    return button;
  };
  BAddLog = toolButton("BAddLog", 0, 0, true);
  BSaveList = toolButton("BSaveList", 23, 1, false);
  BRemLog = toolButton("BRemLog", 46, 2, false);
  BClearAll = toolButton("BClearAll", 69, 5, false);
  BProcess = toolButton("BProcess", 92, 3, false);
  BExit = toolButton("BExit", 115, 4, true);

  LogList = new QListWidget(this);
  LogList->setObjectName("LogList");
  LogList->setGeometry(0, 26, kClientWidth, 189);
  LogList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LogList->setSortingEnabled(false);
  LogList->setUniformItemSizes(true);
  // Files dropped from a file manager are added as the add button adds them.
  LogList->setAcceptDrops(true);
  LogList->viewport()->setAcceptDrops(true);
  LogList->installEventFilter(this);
  LogList->viewport()->installEventFilter(this);

  Results = new QTextEdit(this);
  Results->setObjectName("Results");
  Results->setGeometry(0, 215, kClientWidth, 183);
  Results->setAcceptRichText(true);
  Results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Tab and Shift+Tab move the focus on, as everywhere else in the window.
  Results->setTabChangesFocus(true);
  Results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Results->setLineWrapMode(QTextEdit::WidgetWidth);

  GroupBox1 = new TGroupBox(" Process ", this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(0, 398, kClientWidth, 66);
  LayOutGroupBox();

  SelectLog.Title = "Select file...";
  SelectLog.Filter = {{"Font Metrics (*.metrics)", "*.metrics"},
                      {"Project list files (*.lst)", "*.lst"},
                      {"Log files (*.log)", "*.log"}};
  SelectLog.DefaultExt = "*";
  SelectLog.Options = ofHideReadOnly | ofAllowMultiSelect | ofPathMustExist | ofFileMustExist;
  SaveLST.Title = "Select file...";
  SaveLST.Filter = {{"Project list files (*.lst)", "*.lst"}};
  SaveLST.DefaultExt = "lst";
  SaveLST.Options = ofOverwritePrompt | ofHideReadOnly | ofEnableSizing;
  SaveRes.Title = "Select target...";
  SaveRes.Filter = {{"Text files (*.txt)", "*.txt"}};
  SaveRes.DefaultExt = "txt";
  SaveRes.Options = ofOverwritePrompt | ofHideReadOnly;

  setTabOrder(LogList, Results);
  setTabOrder(Results, GroupBox1);
  setTabOrder(Progress, Total);
}

void TMainForm::LayOutGroupBox() {
  auto label = [this](const char* name, const QString& text, int left, int top) {
    auto* l = new QLabel(text, GroupBox1);
    l->setObjectName(name);
    l->move(left, top);
    l->adjustSize();
    return l;
  };
  PFile = label("PFile", "", 11, 16);
  CurrentMessage = label("CurrentMessage", "", 12, 16);

  auto speedButton = [this](const char* name, const QString& text, QRect place) {
    auto* b = new TSpeedButton(GroupBox1);
    b->setObjectName(name);
    b->setText(text);
    b->setGeometry(place);
    b->setEnabled(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  Stop = speedButton("Stop", "Stop", QRect(612, 10, 71, 19));
  SaveLog = speedButton("SaveLog", "Save results", QRect(506, 10, 105, 19));

  Extracted = label("Extracted", "Extracted: 0", 334, 14);
  Extracted->setFont(WindowFont());
  Extracted->adjustSize();

  auto bar = [this](const char* name, int top) {
    auto* b = new QProgressBar(GroupBox1);
    b->setObjectName(name);
    b->setGeometry(12, top, 671, 13);
    b->setRange(0, 100);
    b->setValue(0);
    b->setTextVisible(false);
    return b;
  };
  Progress = bar("Progress", 32);
  Total = bar("Total", 48);
}

void TMainForm::ConnectHandlers() {
  auto bind = [this](QAbstractButton* button, void (TMainForm::*handler)(QObject*)) {
    connect(button, &QAbstractButton::clicked, this,
            [this, button, handler] { Guard([&] { (this->*handler)(button); }); });
  };
  bind(BAddLog, &TMainForm::BAddLogClick);
  bind(BSaveList, &TMainForm::BSaveListClick);
  bind(BRemLog, &TMainForm::BRemLogClick);
  bind(BClearAll, &TMainForm::BClearAllClick);
  bind(BProcess, &TMainForm::BProcessClick);
  bind(BExit, &TMainForm::BExitClick);
  bind(Stop, &TMainForm::StopClick);
  bind(SaveLog, &TMainForm::SaveLogClick);
}

void TMainForm::Guard(const std::function<void()>& handler) {
  Application.Guard(FDialogs, handler);
  // A close asked for during a run takes effect once the run has ended.
  if (FCloseRequested && !FRunning) {
    FCloseRequested = false;
    close();
  }
}

void TMainForm::FormCreate(QObject*) {
  FProcessItem = [this](TInputKind kind, const std::string& entry) { ProcessItem(kind, entry); };
  ResultLog = std::make_unique<TStringList>();
  ListLines = std::make_unique<TStringList>();
}

void TMainForm::FormDestroy(QObject*) {
  ResultLog.reset();
  ListLines.reset();
}

void TMainForm::BExitClick(QObject*) { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FRunning) {
    // The run goes on to its end; the window closes after it.
    FCloseRequested = true;
    event->ignore();
    return;
  }
  event->accept();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!FCentred && screen()) {
    FCentred = true;
    move(screen()->availableGeometry().center() - rect().center());
  }
}

// ---------------------------------------------------------------------------
// The input list

int TMainForm::EntryCount() const { return LogList->count(); }

std::string TMainForm::Entry(int index) const {
  const QListWidgetItem* item = LogList->item(index);
  return item ? item->data(kEntryRole).toByteArray().toStdString() : std::string();
}

void TMainForm::AddEntry(const std::string& entry) {
  // The list shows a decoded form; the entry keeps its bytes.
  auto* item = new QListWidgetItem(ToQString(entry), LogList);
  item->setData(kEntryRole, QByteArray(entry.data(), static_cast<qsizetype>(entry.size())));
}

void TMainForm::SetListButtons(bool enabled) {
  BClearAll->setEnabled(enabled);
  BRemLog->setEnabled(enabled);
  BProcess->setEnabled(enabled);
  BSaveList->setEnabled(enabled);
}

void TMainForm::BAddLogClick(QObject*) {
  AddInputs([this] { return SelectLog.Execute(); });
}

void TMainForm::AddInputs(const std::function<bool()>& choose) {
  BRemLog->setEnabled(false);
  BProcess->setEnabled(false);
  BSaveList->setEnabled(false);
  const int previousFilter = SelectLog.FilterIndex;
  try {
    if (choose()) {
      const int row = std::clamp(SelectLog.FilterIndex, 1, int(FormatModes.size())) - 1;
      const TInputKind kind = FormatModes[row];
      if (kind == ikProjectList) {
        // The chosen list is read before anything changes, so a file that
        // cannot be read costs the user nothing.
        TStringList lines;
        lines.LoadFromFile(SelectLog.FileName);
        LogList->clear();
        FMode = kind;
        for (const std::string& line : lines.Items()) AddEntry(line);
      } else {
        if (kind != FMode) LogList->clear();
        FMode = kind;
        for (const std::string& file : SelectLog.Files) AddEntry(file);
      }
    }
  } catch (...) {
    // The filter index keeps naming the kind of the entries that remain.
    SelectLog.FilterIndex = previousFilter;
    if (LogList->count() > 0) SetListButtons(true);
    throw;
  }
  if (LogList->count() > 0) SetListButtons(true);
}

void TMainForm::DropFiles(const std::vector<std::string>& files) {
  // Told by extension, as the open dialog's filters tell them.
  int filter = 0;
  for (const std::string& file : files) {
    const int index = FilterIndexOfFile(file);
    if (index == 0) {
      FDialogs.MessageBox(ExtractFileName(file) + " cannot be added: only font metrics (*.metrics), project "
                          "lists (*.lst) and log files (*.log) can",
                          Application.Title(), TMsgIcon::miError);
      return;
    }
    if (filter != 0 && index != filter) {
      FDialogs.MessageBox("Files of different kinds cannot be added together: drop font metrics "
                          "(*.metrics), project lists (*.lst) or log files (*.log), one kind at a time",
                          Application.Title(), TMsgIcon::miError);
      return;
    }
    filter = index;
  }
  if (files.empty()) return;
  // Exactly as the add button with the filter of their kind.
  AddInputs([&] {
    SelectLog.FilterIndex = filter;
    SelectLog.Files = files;
    SelectLog.FileName = files.front();
    return true;
  });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LogList && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    // The Delete key does what the remove button does, while it can be pressed.
    if (BRemLog->isEnabled()) Guard([this] { BRemLogClick(BRemLog); });
    return true;
  }
  if (watched == LogList->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasUrls()) drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<std::string> files;
        for (const QUrl& url : drop->mimeData()->urls()) {
          // The path's own bytes, as the open dialog gives them.
          if (url.isLocalFile()) files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
        drop->acceptProposedAction();
        Guard([&] { DropFiles(files); });
        return true;
      }
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm::BRemLogClick(QObject*) {
  for (int i = LogList->count() - 1; i >= 0; --i) {
    if (LogList->item(i)->isSelected()) delete LogList->takeItem(i);
  }
  if (LogList->count() > 0) {
    // Moves the focus rectangle to the last entry; selects nothing.
    LogList->setCurrentRow(LogList->count() - 1, QItemSelectionModel::NoUpdate);
    LogList->scrollToItem(LogList->item(LogList->count() - 1));
  } else {
    SetListButtons(false);
    LogList->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
  }
}

void TMainForm::BClearAllClick(QObject*) {
  LogList->clear();
  SetListButtons(false);
}

void TMainForm::BSaveListClick(QObject*) {
  if (!SaveLST.Execute()) return;
  TStringList lines;
  for (int i = 0; i < EntryCount(); ++i) lines.Add(Entry(i));
  lines.SaveToFile(SaveLST.FileName);
}

// ---------------------------------------------------------------------------
// The run and the results panel

void TMainForm::BProcessClick(QObject*) {
  // A run lets window messages through between entries, so Process can be
  // pressed again in the middle of one; that press does nothing.
  if (FRunning) return;
  if (LogList->count() == 0) return;
  struct TRunning {
    bool& flag;
    explicit TRunning(bool& f) : flag(f) { flag = true; }
    ~TRunning() { flag = false; }
  } running(FRunning);

  Results->clear();
  ResultLog->Clear();
  Stop->Tag = 0;  // one click stops one run
  OutputDir = GetCurrentDir();
  std::string folder = OutputDir;
  TRunResult result = TRunResult::rrCompleted;
  if (SelectDirectory(FDialogs, folder, sdAllowCreate | sdPerformCreate | sdPrompt, 0)) {
    // A typed relative name means a folder below the working folder of this
    // moment; made absolute now, it still means that after the change below.
    OutputDir = ExpandFileName(folder);
    SetCurrentDir(OutputDir);
    result = RunEntries(*this);
  }
  FDialogs.MessageBox(result == TRunResult::rrStopped ? "Operation stopped!" : "Operation complete!",
                      "Process status:", TMsgIcon::miInformation);
}

void TMainForm::ProcessItem(TInputKind kind, const std::string& entry) {
  Results->setFocus();
  SaveLog->setEnabled(false);
  Stop->setEnabled(true);
  DispatchItem(*this, kind, entry);
  // The converter lets no messages run, so a click on Stop during a conversion
  // waits in the queue; it is handled here, while Stop is still enabled.
  ProcessMessages();
  Stop->setEnabled(false);
  if (!Results->document()->isEmpty()) SaveLog->setEnabled(true);
}

void TMainForm::StopClick(QObject*) {
  Stop->Tag = 1;
  Stop->setEnabled(false);
}

void TMainForm::SaveLogClick(QObject*) {
  if (!SaveRes.Execute()) return;
  SaveRichText(*Results->document(), SaveRes.FileName);
  FDialogs.MessageBox(ExtractFileName(SaveRes.FileName), "Operation status",
                      TMsgIcon::miInformation);
  SaveLog->setEnabled(false);
}

// ---------------------------------------------------------------------------
// TRunHost

void TMainForm::SetStatusText(const std::string& text) {
  CurrentMessage->setText(ToQString(text));
  CurrentMessage->adjustSize();
}

void TMainForm::SetTotalMax(int max) { Total->setMaximum(max); }

void TMainForm::SetTotalPosition(int position) {
  Total->setValue(std::clamp(position, Total->minimum(), Total->maximum()));
}

void TMainForm::StepProgress() {
  Progress->setValue(std::min(Progress->value() + 1, Progress->maximum()));
}

void TMainForm::ProcessMessages() { TApplication::ProcessMessages(); }

bool TMainForm::StopRequested() const { return Stop->Tag != 0; }

std::string TMainForm::FormatName() const {
  const int row = std::clamp(SelectLog.FilterIndex, 1, int(FormatNames.size())) - 1;
  return FormatNames[row];
}

void TMainForm::ProcessEntry(TInputKind kind, const std::string& entry) { FProcessItem(kind, entry); }

void TMainForm::ResetStatus() {
  CurrentMessage->setText("");
  Extracted->setText("");
  Progress->setValue(0);
  Total->setValue(0);
}
