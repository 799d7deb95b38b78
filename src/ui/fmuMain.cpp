#include "ui/fmuMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTextCursor>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "core/Errors.h"
#include "core/TextFile.h"
#include "core/Translate.h"
#include "driver/TarvexDriver.h"
#include "parser/CommandDetails.h"
#include "player/PlaybackTexts.h"
#include "ui/CommandModel.h"
#include "ui/DriverProperties.h"

namespace quillon {

namespace {

QString T(const char* msgid) {
  return QString::fromStdString(Tr(msgid));
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The diagnostics box lists at most this many problems and counts the rest.
constexpr std::size_t kMaxDiagnosticLines = 20;

QStringList SplitWords(const std::string& message) {
  return Q(message).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  return button;
}

}  // namespace

struct TfmMain::TLoadResult {
  TCommandList Commands;
  std::vector<TParseDiagnostic> Diagnostics;
  QString SourceName;
  std::string ReadError;   // the log could not be read: nothing was parsed
  std::string ParseError;  // the parse stopped; the commands before it are kept
  bool Cancelled = false;
};

TfmMain::TfmMain(QWidget* parent, const QString& settingsPath)
    : QMainWindow(parent), FSettingsPath(settingsPath) {
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(QStringLiteral("Norvessa: Quillon & analyzer v.") +
                 QString::asprintf("%d.%d.%d.%d", QUILLON_VERSION_MAJOR + 0,
                                   QUILLON_VERSION_MINOR + 0, QUILLON_VERSION_PATCH + 0,
                                   QUILLON_VERSION_TWEAK + 0));
  CreateControls();
  setAcceptDrops(true);

  TNotifyBus& bus = TNotifyBus::Instance();
  FSubscriptions.push_back(bus.Subscribe(kChannelCommandRun, [this](const std::string& message) {
    RunOnUi([this, message] { OnCommandRun(message); }, false);
  }));
  FSubscriptions.push_back(bus.Subscribe(kChannelError, [this](const std::string& message) {
    RunOnUi([this, message] { OnError(message); }, false);
  }));
  FSubscriptions.push_back(bus.Subscribe(kChannelErrorQuery, [this](const std::string& message) {
    RunOnUi([this, message] { OnErrorQuery(message); }, true);
  }));

  FFinished = true;
  FPlayer = std::make_unique<TQuillon>(bus);
  FLastStateIndex = -1;
  FLastIndex = -1;

  FSettings = LoadMainSettings(FSettingsPath);
  ApplySettings();
}

TfmMain::~TfmMain() {
  StopAndWait();
  FPlayThread.reset();
  FSubscriptions.clear();
  FCancelLoad = true;
  if (FLoadThread.joinable()) FLoadThread.join();
  FModel->SetCommands(nullptr);
}

void TfmMain::CreateControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setMinimumWidth(694);

  auto* upper = new QWidget;
  upper->setMinimumHeight(200);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(4, 4, 4, 4);

  auto* row1 = new QHBoxLayout;
  btnOpen = MakeButton(upper, "btnOpen", T("Открыть файл лога"));
  btnOpen->setDefault(true);
  btnSettings = MakeButton(upper, "btnSettings", T("Настройка свойств ..."));
  btnPasteFromClipboard = MakeButton(upper, "btnPasteFromClipboard", T("Вставить из буфера"));
  btnGetStatus = MakeButton(upper, "btnGetStatus", T("Запрос состояния"));
  btnFindError = MakeButton(upper, "btnFindError", T("Найти ошибку"));
  for (QPushButton* b : {btnOpen, btnSettings, btnPasteFromClipboard, btnGetStatus, btnFindError})
    row1->addWidget(b);
  row1->addStretch();
  upperLayout->addLayout(row1);

  auto* row2 = new QHBoxLayout;
  btnStart = MakeButton(upper, "btnStart", T("Запустить"));
  btnStartFromPosition = MakeButton(upper, "btnStartFromPosition", T("Запустить c текущей строки"));
  btnStartCurrentLine = MakeButton(upper, "btnStartCurrentLine", T("Текущая строка"));
  btnStartSelected = MakeButton(upper, "btnStartSelected", T("Выделенное"));
  btnStop = MakeButton(upper, "btnStop", T("Остановить"));
  btnStop->setEnabled(false);
  for (QPushButton* b :
       {btnStart, btnStartFromPosition, btnStartCurrentLine, btnStartSelected, btnStop})
    row2->addWidget(b);
  row2->addStretch();
  upperLayout->addLayout(row2);

  auto* row3 = new QHBoxLayout;
  chkIngoreKKTErrors = new QCheckBox(T("Игнорировать ошибки ККТ"), upper);
  chkIngoreKKTErrors->setObjectName(QStringLiteral("chkIngoreKKTErrors"));
  chkInfinitePlay = new QCheckBox(T("Зациклить воспроизведение"), upper);
  chkInfinitePlay->setObjectName(QStringLiteral("chkInfinitePlay"));
  lblFileName = new QLabel(upper);
  lblFileName->setObjectName(QStringLiteral("lblFileName"));
  row3->addWidget(chkIngoreKKTErrors);
  row3->addWidget(chkInfinitePlay);
  row3->addWidget(lblFileName, 1);
  upperLayout->addLayout(row3);

  auto* row4 = new QHBoxLayout;
  edtStatus = new QLineEdit(upper);
  edtStatus->setObjectName(QStringLiteral("edtStatus"));
  edtStatus->setReadOnly(true);
  edtStatus->setText(
      T("  Откройте файл лога, либо перетащите файл в это окно, либо вставьте текст лога из "
        "буфера обмена"));
  progress = new QProgressBar(upper);
  progress->setObjectName(QStringLiteral("progress"));
  progress->setTextVisible(false);
  progress->setValue(0);
  row4->addWidget(edtStatus, 3);
  row4->addWidget(progress, 1);
  upperLayout->addLayout(row4);

  auto* row5 = new QHBoxLayout;
  edtSearch = new QLineEdit(upper);
  edtSearch->setObjectName(QStringLiteral("edtSearch"));
  edtSearch->setPlaceholderText(T("Поиск по времени или названию команды"));
  edtSearch->setToolTip(edtSearch->placeholderText());
  btnSearch = MakeButton(upper, "btnSearch", T("Поиск"));
  row5->addWidget(edtSearch, 1);
  row5->addWidget(btnSearch);
  upperLayout->addLayout(row5);

  auto* row6 = new QHBoxLayout;
  FModel = new TCommandModel(this);
  lvCommands = new QTableView(upper);
  lvCommands->setObjectName(QStringLiteral("lvCommands"));
  lvCommands->setModel(FModel);
  lvCommands->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvCommands->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvCommands->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvCommands->setShowGrid(false);
  lvCommands->setWordWrap(false);
  lvCommands->verticalHeader()->hide();
  lvCommands->verticalHeader()->setDefaultSectionSize(18);
  lvCommands->horizontalHeader()->setStretchLastSection(true);
  lvCommands->setColumnWidth(TCommandModel::colTime, 160);
  lvCommands->setColumnWidth(TCommandModel::colThread, 70);
  lvCommands->setColumnWidth(TCommandModel::colCommand, 240);
  lvCommands->setContextMenuPolicy(Qt::CustomContextMenu);
  row6->addWidget(lvCommands, 1);
  auto* exceptionsLayout = new QVBoxLayout;
  lbl = new QLabel(T("Команды-исключения:"), upper);
  lbl->setObjectName(QStringLiteral("lbl"));
  memCommandExceptions = new QPlainTextEdit(upper);
  memCommandExceptions->setObjectName(QStringLiteral("memCommandExceptions"));
  memCommandExceptions->setFont(QFont(QStringLiteral("Courier New")));
  memCommandExceptions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memCommandExceptions->setToolTip(T("Коды команд, которые не будут выполняться") +
                                   QLatin1Char('\n') + T("Каждый код команды на отдельной строке"));
  memCommandExceptions->setPlainText(QStringLiteral("FF 0A"));
  memCommandExceptions->setMaximumWidth(140);
  exceptionsLayout->addWidget(lbl);
  exceptionsLayout->addWidget(memCommandExceptions, 1);
  row6->addLayout(exceptionsLayout);
  upperLayout->addLayout(row6, 1);

  memInfo = new QPlainTextEdit;
  memInfo->setObjectName(QStringLiteral("memInfo"));
  memInfo->setReadOnly(true);
  memInfo->setFont(QFont(QStringLiteral("Courier New")));
  memInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memInfo->setMinimumHeight(50);

  spl1 = new QSplitter(Qt::Vertical, central);
  spl1->setObjectName(QStringLiteral("spl1"));
  spl1->addWidget(upper);
  spl1->addWidget(memInfo);
  spl1->setChildrenCollapsible(false);
  spl1->setStretchFactor(0, 1);
  spl1->setStretchFactor(1, 0);
  spl1->setSizes({584 - 216, 216});
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->addWidget(spl1);

  pmMain = new QMenu(this);
  pmMain->setObjectName(QStringLiteral("pmMain"));
  auto addAction = [this](const char* name, const QString& caption) {
    QAction* action = pmMain->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
  };
  Pfdfa1 = addAction("Pfdfa1", T("Выполнить эту строку"));
  pmMain1 = addAction("pmMain1", T("Запустить с этой строки"));
  N3 = addAction("N3", T("Запустить выделенное"));
  pmMain->addSeparator();
  N2 = addAction("N2", T("Сохранить в файл..."));
  pmMain->addSeparator();
  N5 = addAction("N5", T("Вставить из буфера обмена"));

  dlgOpen = new QFileDialog(this);
  dlgOpen->setObjectName(QStringLiteral("dlgOpen"));
  dlgOpen->setAcceptMode(QFileDialog::AcceptOpen);
  dlgOpen->setFileMode(QFileDialog::ExistingFile);
  dlgOpen->setNameFilters({QStringLiteral("*.log;*.txt (*.log *.txt)"),
                           QStringLiteral("*.log (*.log)"), QStringLiteral("*.txt (*.txt)"),
                           QStringLiteral("*.* (*)")});
  dlgSave = new QFileDialog(this);
  dlgSave->setObjectName(QStringLiteral("dlgSave"));
  dlgSave->setAcceptMode(QFileDialog::AcceptSave);
  dlgSave->setFileMode(QFileDialog::AnyFile);
  dlgSave->setDefaultSuffix(QStringLiteral("txt"));
  dlgSave->setNameFilters({QStringLiteral("*.txt (*.txt)"), QStringLiteral("*.* (*)")});

  resize(814, 584);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }

  connect(btnOpen, &QPushButton::clicked, this, &TfmMain::OpenFileDialog);
  connect(btnPasteFromClipboard, &QPushButton::clicked, this, &TfmMain::PasteFromClipboard);
  connect(N5, &QAction::triggered, this, &TfmMain::PasteFromClipboard);
  connect(btnSettings, &QPushButton::clicked, this, &TfmMain::ShowProperties);
  connect(btnGetStatus, &QPushButton::clicked, this, &TfmMain::GetStatus);
  connect(btnFindError, &QPushButton::clicked, this, &TfmMain::FindError);
  connect(btnSearch, &QPushButton::clicked, this, &TfmMain::Search);
  connect(edtSearch, &QLineEdit::returnPressed, this, &TfmMain::Search);
  connect(edtSearch, &QLineEdit::textEdited, this, [this] {
    btnSearch->setDefault(true);
    btnOpen->setDefault(false);
  });
  connect(btnStart, &QPushButton::clicked, this, &TfmMain::StartAll);
  connect(btnStartFromPosition, &QPushButton::clicked, this, &TfmMain::StartFromPosition);
  connect(btnStartCurrentLine, &QPushButton::clicked, this, &TfmMain::StartCurrentLine);
  connect(btnStartSelected, &QPushButton::clicked, this, &TfmMain::StartSelected);
  connect(Pfdfa1, &QAction::triggered, this, &TfmMain::StartCurrentLine);
  connect(pmMain1, &QAction::triggered, this, &TfmMain::StartFromPosition);
  connect(N3, &QAction::triggered, this, &TfmMain::StartSelected);
  connect(N2, &QAction::triggered, this, &TfmMain::SaveFileDialog);
  connect(btnStop, &QPushButton::clicked, this, &TfmMain::StopAndWait);
  connect(lvCommands, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { pmMain->popup(lvCommands->viewport()->mapToGlobal(pos)); });
  connect(lvCommands->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TfmMain::ShowSelectedDetails);
  connect(lvCommands->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &TfmMain::ShowSelectedDetails);
}

void TfmMain::ApplySettings() {
  memCommandExceptions->setPlainText(FSettings.CommandExceptions.join(QLatin1Char('\n')));
  dlgOpen->setDirectory(FSettings.OpenInitialDir);
  if (!FSettings.OpenFileName.isEmpty()) dlgOpen->selectFile(FSettings.OpenFileName);
  const QStringList openFilters = dlgOpen->nameFilters();
  if (FSettings.OpenFilterIndex >= 1 && FSettings.OpenFilterIndex <= openFilters.size())
    dlgOpen->selectNameFilter(openFilters.at(FSettings.OpenFilterIndex - 1));
  dlgSave->setDirectory(FSettings.SaveInitialDir);
  dlgSave->selectFile(FSettings.SaveFileName);
  chkIngoreKKTErrors->setChecked(FSettings.IgnoreKKTErrors);
  chkInfinitePlay->setChecked(FSettings.InfinitePlay);
  if (FSettings.Geometry.isValid()) setGeometry(FSettings.Geometry);
  if (FSettings.SplitterTop > 0) {
    const int total = std::max(spl1->height(), height());
    spl1->setSizes({FSettings.SplitterTop, std::max(50, total - FSettings.SplitterTop)});
  }
  if (FSettings.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  if (centralWidget()->layout()) centralWidget()->layout()->activate();
  update();
}

void TfmMain::SaveSettings() {
  QString exceptions = memCommandExceptions->toPlainText();
  FSettings.CommandExceptions = exceptions.split(QLatin1Char('\n'));
  FSettings.IgnoreKKTErrors = chkIngoreKKTErrors->isChecked();
  FSettings.InfinitePlay = chkInfinitePlay->isChecked();
  const QList<int> sizes = spl1->sizes();
  if (!sizes.isEmpty()) FSettings.SplitterTop = sizes.first();
  FSettings.Maximized = isMaximized();
  FSettings.Geometry = isMaximized() ? normalGeometry() : geometry();
  SaveMainSettings(FSettings, FSettingsPath);
}

QMessageBox::StandardButton TfmMain::Ask(QMessageBox::Icon icon, const QString& title,
                                         const QString& text,
                                         QMessageBox::StandardButtons buttons) {
  if (FMessageBox) return FMessageBox(icon, title, text, buttons);
  QMessageBox box(icon, title, text, buttons, this);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

// ---- Loading -------------------------------------------------------------------------

bool TfmMain::LoadLogFile(const QString& fileName) {
  if (!FFinished || FLoading) return false;
  memInfo->clear();
  edtStatus->clear();
  return StartLoad({}, fileName, fileName);
}

bool TfmMain::PasteFromClipboard() {
  if (!FFinished || FLoading) return false;
  edtStatus->clear();
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime || !mime->hasText()) return false;
  std::vector<std::string> lines;
  SplitTextLines(mime->text().toStdString(), lines);
  return StartLoad(std::move(lines), QString(), QStringLiteral("Clipboard"));
}

bool TfmMain::StartLoad(std::vector<std::string> lines, const QString& fileName,
                        const QString& sourceName) {
  memInfo->clear();
  edtStatus->setText(T("  Загрузка..."));
  FModel->SetCommands(nullptr);
  FCommands.Clear();
  FLastIndex = -1;
  FLastStateIndex = -1;
  progress->setValue(0);
  FLoading = true;
  FCancelLoad = false;
  if (FLoadThread.joinable()) FLoadThread.join();

  auto result = std::make_shared<TLoadResult>();
  result->SourceName = sourceName;
  const std::string file = fileName.toStdString();
  FLoadThread = std::thread([this, result, file, lines = std::move(lines)]() mutable {
    TCommandListSink sink(result->Commands);
    TLogParser parser(sink);
    int lastPercent = -1;
    auto report = [&](int percent) {
      if (percent == lastPercent) return;
      lastPercent = percent;
      QMetaObject::invokeMethod(
          this, [this, percent] { progress->setValue(percent); }, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(
        this, [this] { progress->setRange(0, 100); }, Qt::QueuedConnection);
    try {
      if (!file.empty()) {
        // A file is read and parsed block by block: no copy of its lines is kept.
        std::unique_ptr<TTextLineReader> reader;
        try {
          reader = std::make_unique<TTextLineReader>(file);
        } catch (const std::exception& e) {
          result->ReadError = e.what();
        }
        std::string_view line;
        while (reader && !FCancelLoad && reader->Next(line)) {
          parser.ParseLine(line);
          if (reader->FileSize() > 0 && (parser.LineCount() & 0x3FFF) == 0)
            report(static_cast<int>(100 * reader->BytesRead() / reader->FileSize()));
        }
      } else {
        for (std::size_t i = 0; i < lines.size() && !FCancelLoad; ++i) {
          parser.ParseLine(lines[i]);
          if ((i & 0x3FFF) == 0) report(static_cast<int>(100 * i / lines.size()));
        }
      }
      if (FCancelLoad)
        result->Cancelled = true;
      else if (result->ReadError.empty())
        parser.Finish();
    } catch (const std::exception& e) {
      // A read error midway: the commands read so far stay.
      if (result->ReadError.empty()) result->ParseError = e.what();
      parser.Finish();
    }
    result->Diagnostics = parser.Diagnostics();
    // Freeing millions of lines takes a while: done here, not while the window waits.
    std::vector<std::string>().swap(lines);
    QMetaObject::invokeMethod(
        this, [this, result] { LoadFinished(result); }, Qt::QueuedConnection);
  });
  return true;
}

void TfmMain::LoadFinished(std::shared_ptr<TLoadResult> result) {
  if (FLoadThread.joinable()) FLoadThread.join();
  FLoading = false;
  if (result->Cancelled) return;
  if (!result->ReadError.empty()) {
    edtStatus->clear();
    progress->setValue(0);
    Ask(QMessageBox::Critical, T("Ошибка"), Q(result->ReadError), QMessageBox::Ok);
    return;
  }
  FCommands = std::move(result->Commands);
  FModel->SetCommands(&FCommands);
  const int count = static_cast<int>(FCommands.Count());
  if (count > 0)
    progress->setRange(0, count - 1);
  else
    progress->setRange(0, progress->maximum());
  progress->setValue(0);
  edtStatus->clear();
  lblFileName->setText(result->SourceName);
  if (!result->ParseError.empty())
    Ask(QMessageBox::Critical, T("Ошибка"), Q(result->ParseError), QMessageBox::Ok);
  ShowDiagnostics(result->Diagnostics);
}

void TfmMain::ShowDiagnostics(const std::vector<TParseDiagnostic>& diagnostics) {
  if (diagnostics.empty()) return;
  QStringList lines;
  const std::size_t shown = std::min(diagnostics.size(), kMaxDiagnosticLines);
  for (std::size_t i = 0; i < shown; ++i)
    lines << T("Строка %1: %2").arg(diagnostics[i].LineNumber).arg(Q(diagnostics[i].Message));
  if (diagnostics.size() > shown)
    lines << T("... и еще %1").arg(static_cast<qulonglong>(diagnostics.size() - shown));
  Ask(QMessageBox::Warning, T("Поврежденные записи лога"), lines.join(QLatin1Char('\n')),
      QMessageBox::Ok);
}

void TfmMain::WaitForLoad() {
  while (FLoading) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TfmMain::OpenFileDialog() {
  if (dlgOpen->exec() != QDialog::Accepted) return;
  const QStringList files = dlgOpen->selectedFiles();
  if (files.isEmpty()) return;
  FSettings.OpenFileName = files.first();
  FSettings.OpenInitialDir = QFileInfo(files.first()).absolutePath();
  FSettings.OpenFilterIndex = dlgOpen->nameFilters().indexOf(dlgOpen->selectedNameFilter()) + 1;
  if (FSettings.OpenFilterIndex < 1) FSettings.OpenFilterIndex = 1;
  LoadLogFile(files.first());
}

void TfmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfmMain::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    LoadLogFile(url.toLocalFile());
    break;
  }
}

// ---- Details, search, save -------------------------------------------------------------

int TfmMain::CurrentRow() const {
  const QModelIndexList rows = lvCommands->selectionModel()->selectedRows();
  int row = -1;
  for (const QModelIndex& index : rows)
    if (row < 0 || index.row() < row) row = index.row();
  return row < 0 ? 0 : row;
}

void TfmMain::ShowSelectedDetails() {
  if (!FFinished) return;
  QItemSelectionModel* selection = lvCommands->selectionModel();
  int row = -1;
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
    row = current.row();
  else if (selection->hasSelection())
    row = CurrentRow();
  if (row < 0 || row >= static_cast<int>(FCommands.Count())) return;
  std::string details;
  try {
    details = FormatCommandDetails(FCommands[row]);
  } catch (const std::exception& e) {
    details = e.what();
  }
  memInfo->setPlainText(ScreenText(details));
  memInfo->moveCursor(QTextCursor::Start);
}

void TfmMain::SelectRow(int row) {
  lvCommands->clearSelection();
  const QModelIndex index = FModel->index(row, 0);
  lvCommands->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  lvCommands->scrollTo(index);
  lvCommands->setFocus();
}

bool TfmMain::AskRestart() {
  return Ask(QMessageBox::Question, T("Поиск завершен"), T("Начать с начала?"),
             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void TfmMain::Search() {
  const int count = static_cast<int>(FCommands.Count());
  if (count == 0) return;
  const QString needle = edtSearch->text();
  const std::string lowerNeedle = needle.toLower().toStdString();
  auto matches = [&](int row) {
    return FCommands[row].HasLowerData(lowerNeedle) ||
           FModel->DataText(row).contains(needle, Qt::CaseInsensitive);
  };
  int start = CurrentRow();
  if (matches(start)) ++start;
  for (;;) {
    for (int row = start; row < count; ++row) {
      if (matches(row)) {
        SelectRow(row);
        return;
      }
    }
    if (!AskRestart()) return;
    start = 0;
  }
}

void TfmMain::FindError() {
  const int count = static_cast<int>(FCommands.Count());
  if (count == 0) return;
  int start = CurrentRow() + 1;
  for (;;) {
    for (int row = start; row < count; ++row) {
      if (FCommands[row].HasError()) {
        SelectRow(row);
        return;
      }
    }
    if (!AskRestart()) return;
    start = 0;
  }
}

bool TfmMain::SaveToFile(const QString& fileName) {
  std::string out;
  for (const auto& command : FCommands) AppendSavedCommand(out, *command);
  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size())) {
    Ask(QMessageBox::Critical, T("Ошибка"), file.errorString(), QMessageBox::Ok);
    return false;
  }
  file.close();
  return true;
}

void TfmMain::SaveFileDialog() {
  if (dlgSave->exec() != QDialog::Accepted) return;
  const QStringList files = dlgSave->selectedFiles();
  if (files.isEmpty()) return;
  FSettings.SaveFileName = QFileInfo(files.first()).fileName();
  FSettings.SaveInitialDir = QFileInfo(files.first()).absolutePath();
  SaveToFile(files.first());
}

// ---- Driver ------------------------------------------------------------------------------

IDriver& TfmMain::GetDriver() {
  if (!FDriver) {
    if (FDriverFactory)
      FDriver = FDriverFactory();
    else
      FDriver = TDriver::FromSettingsFile();
  }
  return *FDriver;
}

void TfmMain::ShowProperties() {
  if (!FFinished) return;
  IDriver& driver = GetDriver();
  auto* tarvex = dynamic_cast<TDriver*>(&driver);
  if (!tarvex) {
    driver.ShowProperties();
    return;
  }
  TDriverPropertiesDialog dialog(tarvex->Settings(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  tarvex->SetSettings(dialog.Settings());
  std::string error;
  if (!tarvex->SaveSettings(DefaultDriverSettingsPath(), error))
    Ask(QMessageBox::Critical, T("Ошибка"), Q(error), QMessageBox::Ok);
}

void TfmMain::ShowDriverResult(int result, const QString& caption) {
  if (result != 0)
    memInfo->setPlainText(QStringLiteral("%1: %2: %3, %4")
                              .arg(caption, T("Ошибка"))
                              .arg(result)
                              .arg(Q(GetDriver().ResultCodeDescription())));
  else
    memInfo->setPlainText(QStringLiteral("%1: %2").arg(caption, T("Успешно")));
}

void TfmMain::GetStatus() {
  if (!FFinished) return;
  memInfo->clear();
  QCoreApplication::processEvents();
  IDriver& driver = GetDriver();
  driver.SetPassword(driver.SysAdminPassword());
  const int result = driver.GetECRStatus();
  ShowDriverResult(result, T("Запрос состояния"));
  if (result == 0) {
    memInfo->appendPlainText(
        T("Режим   : %1, %2").arg(driver.ECRMode()).arg(Q(driver.ECRModeDescription())));
    memInfo->appendPlainText(T("Подрежим: %1, %2")
                                 .arg(driver.ECRAdvancedMode())
                                 .arg(Q(driver.ECRAdvancedModeDescription())));
  }
}

// ---- Playback ------------------------------------------------------------------------------

void TfmMain::StartAll() {
  Start(TStart::All);
}
void TfmMain::StartFromPosition() {
  Start(TStart::FromPosition);
}
void TfmMain::StartCurrentLine() {
  Start(TStart::CurrentLine);
}
void TfmMain::StartSelected() {
  Start(TStart::Selected);
}

void TfmMain::Start(TStart kind) {
  if (!FFinished || FLoading) return;  // one playback at a time, never during a load
  SetPlaying(true);
  const int current = CurrentRow();
  switch (kind) {
    case TStart::All:
      FFirstCommandIndex = 0;
      FPlayCommandCount = 0;
      break;
    case TStart::FromPosition:
      FFirstCommandIndex = current;
      FPlayCommandCount = 0;
      break;
    case TStart::CurrentLine:
      FFirstCommandIndex = current;
      FPlayCommandCount = 1;
      break;
    case TStart::Selected:
      // The selected rows anywhere in the list are played, not only those below the
      // start row of an earlier playback.
      FFirstCommandIndex = 0;
      FPlayCommandCount = 0;
      break;
  }
  FFinished = false;
  QItemSelectionModel* selection = lvCommands->selectionModel();
  for (std::size_t i = 0; i < FCommands.Count(); ++i)
    FCommands[i].Selected =
        kind != TStart::Selected || selection->isRowSelected(static_cast<int>(i), QModelIndex());

  std::vector<std::string> exceptions;
  for (const QString& line : memCommandExceptions->toPlainText().split(QLatin1Char('\n')))
    exceptions.push_back(line.toStdString());
  const bool infinite = chkInfinitePlay->isChecked();
  const int first = std::max(FFirstCommandIndex, 0);
  const int count = FPlayCommandCount;
  GetDriver();  // created here, on the window's thread
  FPlayThread.reset();
  FPlayThread = StartNotifyThread(
      [this, exceptions = std::move(exceptions), infinite, first, count](TNotifyThread&) {
        for (std::size_t i = 0; i < FCommands.Count(); ++i) {
          FCommands[i].SetPlayedAnswerData({});
          FCommands[i].Played = false;
        }
        FPlayer->PlayLog(*FDriver, FCommands, &exceptions, first, count, infinite);
      },
      [this](TNotifyThread&) { PlayFinished(); },
      [this](std::function<void()> function) {
        QMetaObject::invokeMethod(this, std::move(function), Qt::QueuedConnection);
      });
}

void TfmMain::SetPlaying(bool playing) {
  if (playing) {
    progress->setValue(0);
    FModel->ResetRowStates();
  }
  btnStop->setEnabled(playing);
  for (QWidget* control : std::initializer_list<QWidget*>{
           btnStart, btnStartFromPosition, btnStartCurrentLine, btnStartSelected, btnOpen,
           btnSettings, btnPasteFromClipboard, btnFindError, btnGetStatus, memCommandExceptions,
           chkInfinitePlay, chkIngoreKKTErrors})
    control->setEnabled(!playing);
  for (QAction* action : {Pfdfa1, pmMain1, N3, N5}) action->setEnabled(!playing);
  memInfo->clear();
}

void TfmMain::PlayFinished() {
  SetPlaying(false);
  FFinished = true;
  ShowSelectedDetails();
}

void TfmMain::StopAndWait() {
  FPlayer->StopPlaying();
  while (!FFinished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TfmMain::RunOnUi(std::function<void()> function, bool wait) {
  if (QThread::currentThread() == thread()) {
    function();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(function),
                            wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void TfmMain::ShowProgress(int index, int pass) {
  QItemSelectionModel* selection = lvCommands->selectionModel();
  if (FLastIndex >= 0) {
    FModel->SetRowState(FLastIndex, static_cast<TRowState>(FLastStateIndex));
    selection->select(FModel->index(FLastIndex, 0),
                      QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  }
  if (index < 0 || index >= FModel->rowCount()) return;
  const QModelIndex rowIndex = FModel->index(index, 0);
  selection->select(rowIndex, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  lvCommands->scrollTo(rowIndex);
  FLastStateIndex = FModel->RowState(index);
  FLastIndex = index;
  if (FLastStateIndex < rsError) FModel->SetRowState(index, rsPlay);
  lvCommands->setFocus();
  progress->setValue(index);
  const std::string message =
      pass < 0 ? std::to_string(index) : std::to_string(index) + " " + std::to_string(pass);
  edtStatus->setText(Q(CommandRunStatus(FCommands, message)));
}

void TfmMain::OnCommandRun(const std::string& message) {
  const QStringList words = SplitWords(message);
  if (words.isEmpty()) return;
  const int index = words.at(0).toInt();
  if (index > 0)
    lvCommands->selectionModel()->select(FModel->index(index - 1, 0),
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  const int pass = words.size() >= 2 ? words.at(1).toInt() : -1;
  ShowProgress(index, pass);
}

void TfmMain::OnError(const std::string& message) {
  if (FModel->rowCount() == 0) return;
  const QStringList words = SplitWords(message);
  if (words.isEmpty()) return;
  const int index = std::max(words.at(0).toInt(), 0);
  ShowProgress(index, -1);
  FModel->SetRowState(index, rsClose);
  // The status line carries the whole error text after the pass number.
  lvCommands->setFocus();
  edtStatus->setText(Q(ErrorStatus(FCommands, message)));
}

void TfmMain::OnErrorQuery(const std::string& message) {
  if (chkIngoreKKTErrors->isChecked() && ExtractErrorCode(message) > 0) {
    FPlayer->SetPlayMode(pmContinue);
    return;
  }
  const QMessageBox::StandardButton answer =
      Ask(QMessageBox::Critical, T("Ошибка"),
          T("Ошибка: ") + Q(message) + QLatin1Char('\n') + T("Продолжить?"),
          QMessageBox::Yes | QMessageBox::No);
  FPlayer->SetPlayMode(answer == QMessageBox::Yes ? pmContinue : pmStop);
}

void TfmMain::closeEvent(QCloseEvent* event) {
  StopAndWait();
  setAcceptDrops(false);
  if (!FSettingsSaved) {
    SaveSettings();
    FSettingsSaved = true;
  }
  QMainWindow::closeEvent(event);
}

}  // namespace quillon
