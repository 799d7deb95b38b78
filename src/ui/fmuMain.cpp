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
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <numeric>

#include "core/CodePages.h"
#include "core/Version.h"
#include "driver/TarvexDriver.h"
#include "parser/CommandDetails.h"
#include "parser/CommandFilter.h"
#include "parser/CommandParser.h"
#include "ui/BytesPane.h"
#include "ui/CommandModel.h"
#include "ui/CommandSearch.h"
#include "ui/ComparisonController.h"
#include "ui/DiagnosticsPanel.h"
#include "ui/DriverProperties.h"
#include "ui/EncodingButton.h"
#include "ui/FilterController.h"
#include "ui/LanguageButton.h"
#include "ui/LogFollowController.h"
#include "ui/LogLoadController.h"
#include "ui/MainWindowLayout.h"
#include "ui/PlaybackController.h"
#include "ui/StatisticsDialog.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

// The first local file among the dropped ones; empty for none.
QString DroppedLogFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

// Catches a file dropped on a text box, so that the window loads it rather than the box
// taking its path as text; any other drop is the box's.
class TFileDropCatcher : public QObject {
 public:
  TFileDropCatcher(QObject* parent, std::function<void(const QString&)> load)
      : QObject(parent), FLoad(std::move(load)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedLogFile(drag->mimeData()).isEmpty()) break;
        drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = DroppedLogFile(drop->mimeData());
        if (file.isEmpty()) break;
        drop->acceptProposedAction();
        FLoad(file);
        return true;
      }
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(const QString&)> FLoad;
};

}  // namespace

TfmMain::TfmMain(QWidget* parent, const QString& settingsPath)
    : QMainWindow(parent), FSettingsPath(settingsPath) {
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(QStringLiteral("Norvessa: Quillon & analyzer v.") +
                 QString::fromStdString(QuillonVersion()));
  setWindowIcon(ButtonIcon("quillon", "quillon"));  // the installed theme's, else our own
  FModel = new TCommandModel(this);
  FUi = BuildMainWindowLayout(*this, *FModel);
  FLoader = new TLogLoadController(this);
  FComparison = new TComparisonController(this);
  FFilter = new TFilterController(this);
  FSearch = new TSearchController(this);
  FFollow = new TLogFollowController(this);
  FFollowRetry = new QTimer(this);
  FFollowRetry->setSingleShot(true);
  FFollowRetry->setInterval(TLogFollowController::kPollMs);
  ConnectControls();
  setAcceptDrops(true);

  FPlayback = std::make_unique<TPlaybackController>(FCommands, static_cast<IPlaybackView&>(*this));
  FLastStateIndex = -1;
  FLastIndex = -1;

  FSettings = LoadMainSettings(FSettingsPath);
  FStartLanguage = FSettings.Language;
  ApplySettings();
}

TfmMain::~TfmMain() {
  FPlayback.reset();   // stops a playback and waits for its end
  delete FLoader;      // cancels a load still running
  delete FComparison;  // ends a comparison, which reads the commands
  delete FSearch;      // and the walks that read them
  delete FFollow;
  delete FFilter;
  FUi.lvCommands->selectionModel()->disconnect(this);  // no details for a row any more
  FUi.lvCommands->clearSelection();
  InstallViewModels(nullptr, false);
  FModel->SetCommands(nullptr);
}

void TfmMain::ConnectControls() {
  connect(FLoader, &TLogLoadController::Progress, FUi.progress, &QProgressBar::setValue);
  connect(FLoader, &TLogLoadController::Finished, this, &TfmMain::LoadFinished);
  connect(FUi.btnOpen, &QPushButton::clicked, this, &TfmMain::OpenFileDialog);
  connect(FUi.btnPasteFromClipboard, &QPushButton::clicked, this, &TfmMain::PasteFromClipboard);
  connect(FUi.N5, &QAction::triggered, this, &TfmMain::PasteFromClipboard);
  connect(FUi.btnSettings, &QPushButton::clicked, this, &TfmMain::ShowProperties);
  connect(FUi.btnGetStatus, &QPushButton::clicked, this, &TfmMain::GetStatus);
  connect(FUi.btnFindError, &QPushButton::clicked, this, &TfmMain::FindError);
  connect(FUi.btnSearch, &QPushButton::clicked, this, &TfmMain::Search);
  connect(FUi.edtSearch, &QLineEdit::returnPressed, this, &TfmMain::Search);
  connect(FUi.edtSearch, &QLineEdit::textEdited, this, [this] {
    FUi.btnSearch->setDefault(true);
    FUi.btnOpen->setDefault(false);
  });
  connect(FUi.btnStart, &QPushButton::clicked, this, &TfmMain::StartAll);
  connect(FUi.btnStartFromPosition, &QPushButton::clicked, this, &TfmMain::StartFromPosition);
  connect(FUi.btnStartCurrentLine, &QPushButton::clicked, this, &TfmMain::StartCurrentLine);
  connect(FUi.btnStartSelected, &QPushButton::clicked, this, &TfmMain::StartSelected);
  connect(FUi.Pfdfa1, &QAction::triggered, this, &TfmMain::StartCurrentLine);
  connect(FUi.pmMain1, &QAction::triggered, this, &TfmMain::StartFromPosition);
  connect(FUi.N3, &QAction::triggered, this, &TfmMain::StartSelected);
  connect(FUi.N2, &QAction::triggered, this, &TfmMain::SaveFileDialog);
  connect(FUi.btnStop, &QPushButton::clicked, this, &TfmMain::StopAndWait);
  connect(FUi.lvCommands, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    FUi.pmMain->popup(FUi.lvCommands->viewport()->mapToGlobal(pos));
  });
  ConnectSelection();
  FUi.memBytes->SetDetails(FUi.memInfo);
  connect(FUi.btnEncoding, &TEncodingButton::EncodingChosen, this, &TfmMain::SetLogEncoding);
  connect(FUi.btnLanguage, &TLanguageButton::LanguageChosen, this, &TfmMain::SetLanguageChoice);
  connect(FUi.chkFollow, &QCheckBox::toggled, this, &TfmMain::SetFollowing);
  connect(FFollow, &TLogFollowController::Arrived, this, &TfmMain::TakeFollowed);
  connect(FFollowRetry, &QTimer::timeout, this, &TfmMain::TakeFollowed);
  connect(FFollow, &TLogFollowController::Ended, this, &TfmMain::FollowEnded);
  connect(FComparison, &TComparisonController::Finished, this, &TfmMain::ComparisonFinished);
  connect(FUi.acCompareColumn, &QAction::toggled, this, &TfmMain::SetComparisonColumnVisible);
  connect(FUi.acOnlyDiffers, &QAction::toggled, this, &TfmMain::SetOnlyDiffering);
  connect(FUi.acSaveComparison, &QAction::triggered, this, &TfmMain::SaveComparisonDialog);
  connect(FUi.acVolatileFields, &QAction::triggered, this, &TfmMain::EditVolatileFields);
  connect(FUi.acStatistics, &QAction::triggered, this, &TfmMain::ShowStatistics);
  QHeaderView* header = FUi.lvCommands->horizontalHeader();
  connect(header, &QWidget::customContextMenuRequested, this,
          [this, header](const QPoint& pos) { FUi.pmHeader->popup(header->mapToGlobal(pos)); });
  connect(FUi.acDeltaColumn, &QAction::toggled, this,
          [this](bool on) { SetTimeColumnVisible(TCommandModel::colDelta, on); });
  connect(FUi.acResponseColumn, &QAction::toggled, this,
          [this](bool on) { SetTimeColumnVisible(TCommandModel::colResponse, on); });

  connect(FFilter, &TFilterController::Progress, FUi.prgFilter, &QProgressBar::setValue);
  connect(FFilter, &TFilterController::Finished, this, &TfmMain::FilterFinished);
  connect(FUi.edtFilter, &QLineEdit::textChanged, this, &TfmMain::ApplyFilter);
  connect(FUi.btnFilterCancel, &QToolButton::clicked, this, &TfmMain::CancelFilter);
  connect(FSearch, &TSearchController::Found, this, &TfmMain::SearchFound);
  connect(FSearch, &TSearchController::EndReached, this, &TfmMain::SearchEndReached);
  connect(FUi.btnSearchCancel, &QToolButton::clicked, this, &TfmMain::CancelSearch);

  connect(FUi.acOpen, &QAction::triggered, this, &TfmMain::OpenFileDialog);
  auto focusLine = [](QLineEdit* line) {
    line->setFocus(Qt::ShortcutFocusReason);
    line->selectAll();
  };
  connect(FUi.acFocusSearch, &QAction::triggered, this,
          [focusLine, this] { focusLine(FUi.edtSearch); });
  connect(FUi.acFocusFilter, &QAction::triggered, this,
          [focusLine, this] { focusLine(FUi.edtFilter); });
  connect(FUi.acFindNext, &QAction::triggered, this, &TfmMain::Search);
  connect(FUi.acFindPrevious, &QAction::triggered, this, &TfmMain::SearchBackward);
  connect(FUi.acNextError, &QAction::triggered, this, &TfmMain::FindError);
  connect(FUi.acPreviousError, &QAction::triggered, this, &TfmMain::FindPreviousError);
  connect(FUi.acStart, &QAction::triggered, this, &TfmMain::StartAll);
  connect(FUi.acStop, &QAction::triggered, this, &TfmMain::StopWhatRuns);
  connect(FUi.acCopy, &QAction::triggered, this, &TfmMain::CopySelected);
  connect(FUi.acCopyHex, &QAction::triggered, this, &TfmMain::CopySelectedHex);

  connect(FUi.btnDiagnostics, &QPushButton::clicked, this, [this] {
    FUi.dckDiagnostics->show();
    FUi.dckDiagnostics->raise();
  });
  connect(FUi.dckDiagnostics, &TDiagnosticsPanel::LinePicked, this, &TfmMain::SelectDiagnosticLine);
  // The text boxes that take dropped text (the line edits themselves, the viewport of the
  // exception list) hand a dropped file to the window.
  auto* dropCatcher =
      new TFileDropCatcher(this, [this](const QString& file) { LoadDroppedFile(file); });
  for (QWidget* box : std::initializer_list<QWidget*>{FUi.edtSearch, FUi.edtFilter,
                                                      FUi.memCommandExceptions->viewport()})
    box->installEventFilter(dropCatcher);
  // Whatever else writes the details pane, it no longer shows the row's details.
  connect(FUi.memInfo, &QPlainTextEdit::textChanged, this, [this] { FDetailsRow = -1; });
}

void TfmMain::ConnectSelection() {
  // A click or a key moves both, one after the other; the row is decoded once. A click
  // moves the current row first, to a row not selected yet: the selection that follows
  // tells which details to show.
  QItemSelectionModel* selection = FUi.lvCommands->selectionModel();
  connect(selection, &QItemSelectionModel::selectionChanged, this, &TfmMain::SelectionMoved);
  connect(selection, &QItemSelectionModel::currentRowChanged, this,
          [this, selection](const QModelIndex& current) {
            if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
              SelectionMoved();
          });
}

void TfmMain::ApplySettings() {
  FUi.memCommandExceptions->setPlainText(FSettings.CommandExceptions.join(QLatin1Char('\n')));
  FUi.dlgOpen->setDirectory(FSettings.OpenInitialDir);
  if (!FSettings.OpenFileName.isEmpty()) FUi.dlgOpen->selectFile(FSettings.OpenFileName);
  const QStringList openFilters = FUi.dlgOpen->nameFilters();
  if (FSettings.OpenFilterIndex >= 1 && FSettings.OpenFilterIndex <= openFilters.size())
    FUi.dlgOpen->selectNameFilter(openFilters.at(FSettings.OpenFilterIndex - 1));
  FUi.dlgSave->setDirectory(FSettings.SaveInitialDir);
  FUi.dlgSave->selectFile(FSettings.SaveFileName);
  FUi.chkIngoreKKTErrors->setChecked(FSettings.IgnoreKKTErrors);
  FUi.chkInfinitePlay->setChecked(FSettings.InfinitePlay);
  FModel->SetExtraVolatileFields(FSettings.VolatileFields);
  SetTimeColumnVisible(TCommandModel::colDelta, FSettings.DeltaColumn);
  SetTimeColumnVisible(TCommandModel::colResponse, FSettings.ResponseColumn);
  FUi.edtFilter->setText(FSettings.FilterText);
  FUi.btnEncoding->SetEncoding(FSettings.LogEncoding);
  FUi.btnLanguage->SetLanguage(FSettings.Language);
  const int columns =
      std::min(static_cast<int>(FSettings.ColumnWidths.size()), FModel->columnCount());
  for (int column = 0; column < columns; ++column)
    if (FSettings.ColumnWidths[column] > 0)
      FUi.lvCommands->setColumnWidth(column, FSettings.ColumnWidths[column]);
  if (FSettings.Geometry.isValid()) setGeometry(FSettings.Geometry);
  if (FSettings.SplitterTop > 0) {
    const int total = std::max(FUi.spl1->height(), height());
    FUi.spl1->setSizes({FSettings.SplitterTop, std::max(50, total - FSettings.SplitterTop)});
  }
  if (FSettings.SplitterDetails > 0) {
    // The panes share the window's width less the handle between them.
    const int total = std::max(FUi.splDetails->width(), width()) - FUi.splDetails->handleWidth();
    FUi.splDetails->setSizes(
        {FSettings.SplitterDetails, std::max(50, total - FSettings.SplitterDetails)});
  }
  if (FSettings.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  if (centralWidget()->layout()) centralWidget()->layout()->activate();
  update();
}

void TfmMain::SaveSettings() {
  QString exceptions = FUi.memCommandExceptions->toPlainText();
  FSettings.CommandExceptions = exceptions.split(QLatin1Char('\n'));
  FSettings.IgnoreKKTErrors = FUi.chkIngoreKKTErrors->isChecked();
  FSettings.InfinitePlay = FUi.chkInfinitePlay->isChecked();
  FSettings.FilterText = FUi.edtFilter->text();
  const QHeaderView* header = FUi.lvCommands->horizontalHeader();
  FSettings.ColumnWidths.clear();
  for (int column = 0; column < header->count(); ++column)
    FSettings.ColumnWidths << (header->isSectionHidden(column) ? 0 : header->sectionSize(column));
  const QList<int> sizes = FUi.spl1->sizes();
  if (!sizes.isEmpty()) FSettings.SplitterTop = sizes.first();
  const QList<int> detailsSizes = FUi.splDetails->sizes();
  if (!detailsSizes.isEmpty()) FSettings.SplitterDetails = detailsSizes.first();
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
  if (!FPlayback->Idle() || Loading()) return false;
  FUi.memInfo->clear();
  FUi.edtStatus->clear();
  StartLoad();
  FLogFile = fileName;
  FLoader->LoadFile(fileName, FSettings.LogEncoding);
  return true;
}

void TfmMain::SetLogEncoding(TLogEncoding encoding) {
  FUi.btnEncoding->SetEncoding(encoding);
  if (encoding == FSettings.LogEncoding) return;
  FSettings.LogEncoding = encoding;
  // The file shown is read again in the new encoding.
  if (!FLogFile.isEmpty()) LoadLogFile(FLogFile);
}

void TfmMain::SetLanguageChoice(const QString& code) {
  FUi.btnLanguage->SetLanguage(code);
  const QString language = FUi.btnLanguage->Language();  // an unknown code: the system's
  if (language == FSettings.Language) return;
  FSettings.Language = language;
  SaveSettings();
  if (language != FStartLanguage && !FLanguageNoticeShown) {
    FLanguageNoticeShown = true;
    Ask(QMessageBox::Information, T("Язык"),
        T("Язык будет изменён при следующем запуске программы"), QMessageBox::Ok);
  }
}

bool TfmMain::PasteFromClipboard() {
  if (!Finished()) {
    RefuseNewLogDuringPlayback();
    return false;
  }
  if (!FPlayback->Idle() || Loading()) return false;
  FUi.edtStatus->clear();
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime || !mime->hasText()) return false;
  StartLoad();
  FLogFile.clear();
  FLoader->LoadText(mime->text(), QStringLiteral("Clipboard"));
  return true;
}

bool TfmMain::Loading() const {
  return FLoader->Loading();
}

void TfmMain::StartLoad() {
  StopFollowing();            // the list it adds to goes
  FComparison->Cancel();      // it reads the commands about to go
  delete FStatistics.data();  // so does the statistics dialog (its destructor waits for it)
  CancelSearch();             // and so do the walks
  FFilter->Cancel();
  EndFilterProgress();
  ShowFilterState(QString(), false);
  InstallViewModels(nullptr, FDiffering != nullptr);
  FUi.memInfo->clear();
  ShowDiagnostics({});
  FUi.edtStatus->setText(T("  Загрузка..."));
  FModel->SetCommands(nullptr);
  FCommands.Clear();
  FLastIndex = -1;
  FLastStateIndex = -1;
  FUi.progress->setValue(0);
  FUi.progress->setRange(0, 100);
}

void TfmMain::LoadFinished(const std::shared_ptr<TLoadedLog>& log) {
  if (!log->OpenError.isEmpty()) {
    FLogFile.clear();
    FFollowReloading = false;
    FUi.edtStatus->clear();
    FUi.progress->setValue(0);
    Ask(QMessageBox::Critical, T("Ошибка"), log->OpenError, QMessageBox::Ok);
    return;
  }
  FCommands = std::move(log->Commands);
  FModel->SetCommands(&FCommands);
  emit ShownRowsChanged();
  ApplyFilter();  // the filter's expression picks from the new commands
  const int count = static_cast<int>(FCommands.Count());
  // A range of 0..0 would keep the bar busy: one command gets 0..1.
  if (count > 0)
    FUi.progress->setRange(0, std::max(1, count - 1));
  else
    FUi.progress->setRange(0, FUi.progress->maximum());
  FUi.progress->setValue(0);
  FUi.edtStatus->clear();
  FUi.lblFileName->setText(log->SourceName);
  FUi.lblFileName->setToolTip(log->SourceName);
  // Counted and listed, not asked about: the load waits for nobody.
  ShowDiagnostics(std::move(log->Diagnostics));
  FLoadedLines = log->Lines;
  if (FFollowReloading)
    FUi.edtStatus->setText(T("  Файл журнала усечён или заменён, загружен заново"));
  FFollowReloading = false;
  StartFollowing();
  if (!log->ReadError.isEmpty())
    Ask(QMessageBox::Critical, T("Ошибка"), log->ReadError, QMessageBox::Ok);
}

void TfmMain::ShowDiagnostics(std::vector<TParseDiagnostic> diagnostics) {
  const bool any = !diagnostics.empty();
  FUi.btnDiagnostics->setText(
      T("Повреждённых кадров: %1").arg(static_cast<qulonglong>(diagnostics.size())));
  FUi.btnDiagnostics->setToolTip(DiagnosticsText(diagnostics));
  FUi.btnDiagnostics->setVisible(any);
  FUi.dckDiagnostics->SetDiagnostics(std::move(diagnostics));
  if (!any) FUi.dckDiagnostics->hide();
}

void TfmMain::SelectDiagnosticLine(qint64 line) {
  const std::shared_ptr<const std::vector<int>> rows = ShownRowSet();
  const int row = NearestCommandRow(FCommands, rows.get(), line);
  if (row >= 0) SelectCommandRow(row);
}

void TfmMain::WaitForLoad() {
  while (Loading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TfmMain::OpenFileDialog() {
  if (FUi.dlgOpen->exec() != QDialog::Accepted) return;
  const QStringList files = FUi.dlgOpen->selectedFiles();
  if (files.isEmpty()) return;
  FSettings.OpenFileName = files.first();
  FSettings.OpenInitialDir = QFileInfo(files.first()).absolutePath();
  FSettings.OpenFilterIndex =
      FUi.dlgOpen->nameFilters().indexOf(FUi.dlgOpen->selectedNameFilter()) + 1;
  if (FSettings.OpenFilterIndex < 1) FSettings.OpenFilterIndex = 1;
  LoadLogFile(files.first());
}

void TfmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfmMain::dropEvent(QDropEvent* event) {
  const QString file = DroppedLogFile(event->mimeData());
  event->acceptProposedAction();
  if (!file.isEmpty()) LoadDroppedFile(file);
}

void TfmMain::LoadDroppedFile(const QString& fileName) {
  if (!Finished()) {
    RefuseNewLogDuringPlayback();
    return;
  }
  LoadLogFile(fileName);
}

void TfmMain::RefuseNewLogDuringPlayback() {
  // Not inside the drop: its source waits until the drop returns.
  QMetaObject::invokeMethod(
      this,
      [this] {
        Ask(QMessageBox::Information, T("Воспроизведение"),
            T("Идёт воспроизведение: новый лог можно открыть после остановки"), QMessageBox::Ok);
      },
      Qt::QueuedConnection);
}

// ---- Details, search, save -------------------------------------------------------------

int TfmMain::CurrentRow() const {
  const QModelIndexList rows = FUi.lvCommands->selectionModel()->selectedRows();
  int row = -1;
  for (const QModelIndex& index : rows) {
    const int command = CommandRow(index);
    if (command >= 0 && (row < 0 || command < row)) row = command;
  }
  return row < 0 ? 0 : row;
}

int TfmMain::DetailsRow() const {
  QItemSelectionModel* selection = FUi.lvCommands->selectionModel();
  int row = -1;
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
    row = CommandRow(current);
  else if (selection->hasSelection())
    row = CurrentRow();
  return row >= 0 && row < static_cast<int>(FCommands.Count()) ? row : -1;
}

void TfmMain::SelectionMoved() {
  if (!Finished() || (FDetailsRow >= 0 && DetailsRow() == FDetailsRow)) return;
  ShowSelectedDetails();
}

void TfmMain::ShowSelectedDetails() {
  if (!Finished()) return;
  const int row = DetailsRow();
  if (row < 0) return;
  std::string details;
  // One decoding gives the text and where its values' bytes are.
  TCommandSpans spans;
  TDetailsLines lines;
  bool decoded = true;
  try {
    details = FormatCommandDetails(FCommands[row], &spans, &lines);
  } catch (const std::exception& e) {
    details = e.what();
    decoded = false;
  }
  FUi.memInfo->setPlainText(ScreenText(details) + ComparisonDetails(row));
  FUi.memInfo->moveCursor(QTextCursor::Start);
  FUi.memBytes->ShowCommand(FCommands[row], decoded ? TFieldMap(spans, lines) : TFieldMap());
  FDetailsRow = row;
}

QModelIndex TfmMain::ViewIndex(int row) const {
  QModelIndex index = FModel->index(row, 0);
  if (FShown) index = FShown->mapFromSource(index);
  return FDiffering ? FDiffering->mapFromSource(index) : index;
}

int TfmMain::CommandRow(const QModelIndex& viewIndex) const {
  if (!viewIndex.isValid()) return -1;
  QModelIndex index = FDiffering ? FDiffering->mapToSource(viewIndex) : viewIndex;
  if (FShown) index = FShown->mapToSource(index);
  return index.isValid() ? index.row() : -1;
}

std::shared_ptr<const std::vector<int>> TfmMain::ShownRowSet() const {
  if (FDiffering) {
    // Its rows keep the order of the rows below it.
    auto rows = std::make_shared<std::vector<int>>();
    rows->reserve(FDiffering->rowCount());
    for (int row = 0; row < FDiffering->rowCount(); ++row)
      rows->push_back(CommandRow(FDiffering->index(row, 0)));
    return rows;
  }
  if (FShown) return FShown->Rows() ? FShown->Rows() : std::make_shared<const std::vector<int>>();
  return nullptr;
}

std::vector<int> TfmMain::ShownRows() const {
  if (const auto rows = ShownRowSet()) return *rows;
  std::vector<int> rows(FModel->rowCount());
  std::iota(rows.begin(), rows.end(), 0);
  return rows;
}

bool TfmMain::SelectCommandRow(int row) {
  if (!ViewIndex(row).isValid()) return false;
  SelectRow(row);
  return true;
}

std::vector<int> TfmMain::SelectedCommandRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : FUi.lvCommands->selectionModel()->selectedRows())
    if (const int row = CommandRow(index); row >= 0) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TfmMain::SelectRow(int row) {
  FUi.lvCommands->clearSelection();
  const QModelIndex index = ViewIndex(row);
  FUi.lvCommands->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FUi.lvCommands->scrollTo(index);
  FUi.lvCommands->setFocus();
}

bool TfmMain::AskRestart(const QString& title, const QString& text) {
  return Ask(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

void TfmMain::Search() {
  StartSearch(false);
}

void TfmMain::SearchBackward() {
  StartSearch(true);
}

void TfmMain::StartSearch(bool backward) {
  QString error;
  const std::optional<TSearchQuery> query = TSearchQuery::Parse(FUi.edtSearch->text(), error);
  if (!query) {
    if (!error.isEmpty()) Ask(QMessageBox::Warning, T("Поиск"), error, QMessageBox::Ok);
    return;
  }
  Walk(
      [query = *query](const TCommand& command) {
        return query.Matches(command, [&command] { return CommandSummaryText(command); });
      },
      backward);
}

void TfmMain::FindError() {
  Walk([](const TCommand& command) { return command.HasError(); }, false);
}

void TfmMain::FindPreviousError() {
  Walk([](const TCommand& command) { return command.HasError(); }, true);
}

void TfmMain::Walk(std::function<bool(const TCommand& command)> matches, bool backward) {
  if (FCommands.Empty()) return;
  const std::shared_ptr<const std::vector<int>> rows = ShownRowSet();
  if (rows && rows->empty()) return;
  const int start =
      SearchStartPosition(rows, static_cast<int>(FCommands.Count()), CurrentRow(), backward);
  FSearchBackward = backward;
  FSearch->Start(FCommands, rows, std::move(matches), start, backward);
  FUi.btnSearchCancel->show();
}

void TfmMain::SearchFound(int row) {
  SearchEnded();
  SelectCommandRow(row);
}

void TfmMain::SearchEndReached() {
  SearchEnded();
  const TSearchQuestionText question = SearchEndQuestion(FSearchBackward);
  if (!AskRestart(question.Title, question.Text)) return;
  FSearch->Wrap();
  FUi.btnSearchCancel->show();
}

void TfmMain::SearchEnded() {
  FUi.btnSearchCancel->hide();
}

bool TfmMain::SearchRunning() const {
  return FSearch->Running();
}

void TfmMain::CancelSearch() {
  FSearch->Cancel();
  SearchEnded();
}

void TfmMain::WaitForSearch() {
  while (SearchRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TfmMain::StopWhatRuns() {
  if (SearchRunning())
    CancelSearch();
  else if (FilterRunning())
    CancelFilter();
  else if (!Finished())
    StopAndWait();
}

void TfmMain::CopySelected() {
  std::string out;
  for (int row : SelectedCommandRows()) AppendSavedCommand(out, FCommands[row]);
  if (!out.empty()) QGuiApplication::clipboard()->setText(Q(Cp1251ToUtf8(out)));
}

void TfmMain::CopySelectedHex() {
  QString text;
  for (int row : SelectedCommandRows()) {
    const TCommand& command = FCommands[row];
    text += QStringLiteral("-> ") + Q(command.TxData()) + QLatin1Char('\n');
    if (!command.AnswerData().empty())
      text += QStringLiteral("<- ") + Q(command.AnswerData()) + QLatin1Char('\n');
  }
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
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
  if (FUi.dlgSave->exec() != QDialog::Accepted) return;
  const QStringList files = FUi.dlgSave->selectedFiles();
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
  if (!FPlayback->Idle()) return;
  IDriver& driver = GetDriver();
  auto* tarvex = dynamic_cast<TDriver*>(&driver);
  if (!tarvex) {
    driver.ShowProperties();
    return;
  }
  const TDriverSettings saved = tarvex->Settings();
  TDriverPropertiesDialog dialog(saved, this);
  for (const auto& command : FCommands)
    if (const int protocol = TQuillon::LinkProtocol(*command)) {
      dialog.SetLogProtocol(protocol);
      break;
    }
  // The check goes through the window's own driver (a link may admit one client only), on
  // the controller's worker; the dialog's values are tried and put back when cancelled.
  dialog.SetConnectionCheck(
      [this, tarvex](const TDriverSettings& settings,
                     std::function<void(const TStatusReply&)> done) {
        if (!FPlayback->Idle()) return false;
        tarvex->SetSettings(settings);
        return FPlayback->RequestStatus(*tarvex, std::move(done));
      },
      [tarvex] { tarvex->Abort(); });
  if (dialog.exec() != QDialog::Accepted) {
    if (!(tarvex->Settings() == saved)) tarvex->SetSettings(saved);
    return;
  }
  tarvex->SetSettings(dialog.Settings());
  std::string error;
  if (!tarvex->SaveSettings(DefaultDriverSettingsPath(), error))
    Ask(QMessageBox::Critical, T("Ошибка"), Q(error), QMessageBox::Ok);
}

void TfmMain::GetStatus() {
  if (!FPlayback->Idle()) return;
  FUi.memInfo->clear();
  // The request runs on the controller's worker and its reply comes to ShowStatus; the
  // window goes on meanwhile, with the controls that change the list turned off.
  if (FPlayback->RequestStatus(GetDriver())) EnableControls(false);
}

bool TfmMain::StatusPending() const {
  return FPlayback->StatusPending();
}

void TfmMain::ShowStatus(const TStatusReply& reply) {
  EnableControls(true);
  if (reply.Result != 0) {
    FUi.memInfo->setPlainText(T("Запрос состояния: Ошибка: %1, %2")
                                  .arg(QString::number(reply.Result), reply.ResultDescription));
    return;
  }
  FUi.memInfo->setPlainText(T("Запрос состояния: Успешно"));
  FUi.memInfo->appendPlainText(T("Режим   : %1, %2").arg(reply.Mode).arg(reply.ModeDescription));
  FUi.memInfo->appendPlainText(
      T("Подрежим: %1, %2").arg(reply.AdvancedMode).arg(reply.AdvancedModeDescription));
}

// ---- Playback ------------------------------------------------------------------------------

bool TfmMain::Finished() const {
  return FPlayback->Finished();
}

TQuillon& TfmMain::Player() {
  return FPlayback->Player();
}

void TfmMain::StartAll() {
  Start(TStartKind::All);
}
void TfmMain::StartFromPosition() {
  Start(TStartKind::FromPosition);
}
void TfmMain::StartCurrentLine() {
  Start(TStartKind::CurrentLine);
}
void TfmMain::StartSelected() {
  Start(TStartKind::Selected);
}

void TfmMain::Start(TStartKind kind) {
  if (!FPlayback->Idle() || Loading()) return;  // one playback at a time, never during a load
  TPlaybackOptions options;
  for (const QString& line : FUi.memCommandExceptions->toPlainText().split(QLatin1Char('\n')))
    options.Exceptions.push_back(line.toStdString());
  options.Endless = FUi.chkInfinitePlay->isChecked();
  options.IgnoreDeviceErrors = FUi.chkIngoreKKTErrors->isChecked();
  QItemSelectionModel* selection = FUi.lvCommands->selectionModel();
  // The driver is created here, on the window's thread.
  FPlayback->Start(
      GetDriver(), kind, CurrentRow(),
      [this, selection](int row) {
        const QModelIndex index = ViewIndex(row);
        return index.isValid() && selection->isRowSelected(index.row(), QModelIndex());
      },
      std::move(options));
}

void TfmMain::StopAndWait() {
  FPlayback->StopAndWait();
}

void TfmMain::SetPlaying(bool playing) {
  if (playing) {
    FUi.progress->setValue(0);
    FModel->ResetRowStates();
  }
  FUi.btnStop->setEnabled(playing);
  EnableControls(!playing);
  FUi.memInfo->clear();
}

void TfmMain::EnableControls(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           FUi.btnStart, FUi.btnStartFromPosition, FUi.btnStartCurrentLine, FUi.btnStartSelected,
           FUi.btnOpen, FUi.btnSettings, FUi.btnPasteFromClipboard, FUi.btnFindError,
           FUi.btnGetStatus, FUi.memCommandExceptions, FUi.chkInfinitePlay, FUi.chkIngoreKKTErrors,
           FUi.btnEncoding})
    control->setEnabled(enabled);
  for (QAction* action : {FUi.Pfdfa1, FUi.pmMain1, FUi.N3, FUi.N5, FUi.acSaveComparison,
                          FUi.acVolatileFields, FUi.acOpen, FUi.acStart})
    action->setEnabled(enabled);
}

void TfmMain::PlaybackStarting() {
  FComparison->Cancel();  // its verdicts would be of the answers the playback clears
  FModel->ForgetPlayedAnswers();
  SetPlaying(true);
}

void TfmMain::PlaybackEnded() {
  FModel->InvalidateVerdict(FLastIndex);  // the last command's answer came after its step
  SetPlaying(false);
  ShowSelectedDetails();
  // What the followed file gained meanwhile comes in now.
  if (FFollowGone)
    ReloadFollowed();
  else
    TakeFollowed();
}

bool TfmMain::MarkPlayedRow(int index) {
  QItemSelectionModel* selection = FUi.lvCommands->selectionModel();
  if (FLastIndex >= 0) {
    // The previous command has its played answer now.
    FModel->InvalidateVerdict(FLastIndex);
    FModel->SetRowState(FLastIndex, static_cast<TRowState>(FLastStateIndex));
    selection->select(ViewIndex(FLastIndex),
                      QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  }
  if (index < 0 || index >= FModel->rowCount()) return false;
  FModel->InvalidateVerdict(index);
  const QModelIndex rowIndex = ViewIndex(index);
  selection->select(rowIndex, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  FUi.lvCommands->scrollTo(rowIndex);
  FLastStateIndex = FModel->RowState(index);
  FLastIndex = index;
  if (FLastStateIndex < rsError) FModel->SetRowState(index, rsPlay);
  FUi.lvCommands->setFocus();
  FUi.progress->setValue(index);
  return true;
}

void TfmMain::ShowPlayedCommand(int index, const QString& status) {
  if (index > 0)
    FUi.lvCommands->selectionModel()->select(
        ViewIndex(index - 1), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  if (MarkPlayedRow(index)) FUi.edtStatus->setText(status);
}

void TfmMain::ShowFailedCommand(int index, const QString& status) {
  MarkPlayedRow(index);
  FModel->SetRowState(index, rsClose);
  FUi.lvCommands->setFocus();
  FUi.edtStatus->setText(status);
}

bool TfmMain::AskContinue(const QString& title, const QString& text) {
  return Ask(QMessageBox::Critical, title, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

// ---- Answer comparison -----------------------------------------------------------------

QString TfmMain::ComparisonDetails(int row) const {
  if (!FUi.acCompareColumn->isChecked() && !OnlyDiffering()) return {};
  TAnswerComparison comparison;
  try {
    comparison = FModel->Comparison(row);
  } catch (const std::exception& e) {
    return QStringLiteral("\n") + Q(e.what());
  }
  if (comparison.Verdict == avNotPlayed) return {};
  QString text = QStringLiteral("\n\n") +
                 T("Сравнение ответов: %1").arg(Q(AnswerVerdictText(comparison.Verdict)));
  for (const TFieldDifference& field : comparison.Fields) {
    text += QStringLiteral("\n  %1: %2 -> %3")
                .arg(ScreenText(field.Name), ScreenText(field.Logged), ScreenText(field.Played));
    if (field.Volatile) text += QLatin1Char(' ') + T("(изменчивое)");
  }
  return text;
}

void TfmMain::SetComparisonColumnVisible(bool visible) {
  if (FUi.acCompareColumn->isChecked() != visible) FUi.acCompareColumn->setChecked(visible);
  FUi.lvCommands->setColumnHidden(TCommandModel::colCompare, !visible);
  ShowSelectedDetails();
}

bool TfmMain::OnlyDiffering() const {
  return FUi.acOnlyDiffers->isChecked();
}

void TfmMain::SetOnlyDiffering(bool on) {
  if (FUi.acOnlyDiffers->isChecked() != on) {
    FUi.acOnlyDiffers->setChecked(on);  // comes back here through toggled
    return;
  }
  if (!on) {
    FComparison->Cancel();
    InstallFilter(false);
    return;
  }
  // During a playback or a load the rows are judged as they come (a played row at a time).
  if (!FPlayback->Idle() || Loading() ||
      !FComparison->Start(FCommands, FModel->VolatileFields(), FModel->VerdictEpoch()))
    InstallFilter(true);
}

void TfmMain::InstallFilter(bool on) {
  InstallViewModels(FShown ? FShown->Rows() : nullptr, on);
}

void TfmMain::InstallViewModels(std::shared_ptr<const std::vector<int>> rows, bool differing) {
  const bool shown = rows != nullptr;
  const bool sameModels = shown == (FShown != nullptr) && differing == (FDiffering != nullptr);
  if (sameModels && (!shown || FShown->Rows() == rows)) return;
  const int current = FUi.lvCommands->selectionModel()->hasSelection() ? CurrentRow() : -1;
  if (sameModels) {
    FShown->SetRows(std::move(rows));  // one reset; the filter above follows it
  } else {
    const QByteArray header = FUi.lvCommands->horizontalHeader()->saveState();
    QItemSelectionModel* old = FUi.lvCommands->selectionModel();
    TDifferingRowsModel* oldDiffering = FDiffering;
    TShownRowsModel* oldShown = FShown;
    FShown = nullptr;
    if (shown) {
      FShown = new TShownRowsModel(*FModel, this);
      FShown->SetRows(std::move(rows));
    }
    QAbstractItemModel* below = FShown ? static_cast<QAbstractItemModel*>(FShown) : FModel;
    FDiffering = differing ? new TDifferingRowsModel(*below, this) : nullptr;
    FUi.lvCommands->setModel(FDiffering ? FDiffering : below);
    delete old;
    delete oldDiffering;
    delete oldShown;
    FUi.lvCommands->horizontalHeader()->restoreState(header);
    ConnectSelection();
  }
  const QModelIndex index = current >= 0 ? ViewIndex(current) : QModelIndex();
  if (index.isValid()) {
    FUi.lvCommands->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FUi.lvCommands->scrollTo(index);
  }
  emit ShownRowsChanged();
}

void TfmMain::ComparisonFinished(const std::shared_ptr<TComparisonRun>& run) {
  FModel->AdoptVerdicts(run->Epoch, run->Verdicts);
  if (OnlyDiffering()) InstallFilter(true);
  if (run->ReportFile.isEmpty()) return;
  if (!run->Error.isEmpty()) {
    FUi.edtStatus->clear();
    Ask(QMessageBox::Critical, T("Ошибка"), run->Error, QMessageBox::Ok);
    return;
  }
  FUi.edtStatus->setText(T("  Сравнение сохранено: %1 (команд: %2)")
                             .arg(run->ReportFile)
                             .arg(static_cast<qulonglong>(run->ReportLines)));
}

bool TfmMain::SaveComparisonReport(const QString& fileName) {
  if (!FPlayback->Idle() || Loading() || FComparison->Running()) return false;
  if (!FComparison->Start(FCommands, FModel->VolatileFields(), FModel->VerdictEpoch(), fileName))
    return false;
  FUi.edtStatus->setText(T("  Сохранение сравнения..."));
  return true;
}

void TfmMain::SaveComparisonDialog() {
  if (FUi.dlgReport->exec() != QDialog::Accepted) return;
  const QStringList files = FUi.dlgReport->selectedFiles();
  if (!files.isEmpty()) SaveComparisonReport(files.first());
}

void TfmMain::SetVolatileFieldNames(const QStringList& names) {
  QStringList kept;
  for (const QString& name : names)
    if (!name.trimmed().isEmpty()) kept << name.trimmed();
  FSettings.VolatileFields = kept;
  // The filter is judged again from the new verdicts, computed on the worker.
  const bool filtered = OnlyDiffering() && FPlayback->Idle() && !Loading();
  if (filtered) InstallFilter(false);
  FComparison->Cancel();
  FModel->SetExtraVolatileFields(kept);
  if (OnlyDiffering()) SetOnlyDiffering(true);
  ShowSelectedDetails();
}

void TfmMain::EditVolatileFields() {
  bool ok = false;
  const QString text = QInputDialog::getMultiLineText(
      this, T("Изменчивые поля"),
      T("Поля ответа, которые меняются от прогона к прогону и не делают ответ другим,\n"
        "по одному на строке (кроме встроенных):"),
      FSettings.VolatileFields.join(QLatin1Char('\n')), &ok);
  if (ok) SetVolatileFieldNames(text.split(QLatin1Char('\n')));
}

bool TfmMain::ComparisonRunning() const {
  return FComparison->Running();
}

void TfmMain::WaitForComparison() {
  while (ComparisonRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// ---- Time columns and the display filter ------------------------------------------------

void TfmMain::SetTimeColumnVisible(int column, bool visible) {
  QAction* action = column == TCommandModel::colDelta      ? FUi.acDeltaColumn
                    : column == TCommandModel::colResponse ? FUi.acResponseColumn
                                                           : nullptr;
  if (!action) return;
  if (action->isChecked() != visible) action->setChecked(visible);  // comes back here
  (column == TCommandModel::colDelta ? FSettings.DeltaColumn : FSettings.ResponseColumn) = visible;
  QTableView* view = FUi.lvCommands;
  view->setColumnHidden(column, !visible);
  // The narrow number columns after "Data" leave it the room the last column had.
  const bool numbers = !view->isColumnHidden(TCommandModel::colDelta) ||
                       !view->isColumnHidden(TCommandModel::colResponse);
  view->horizontalHeader()->setStretchLastSection(!numbers);
  view->horizontalHeader()->setSectionResizeMode(
      TCommandModel::colData, numbers ? QHeaderView::Stretch : QHeaderView::Interactive);
}

void TfmMain::SetFilterText(const QString& text) {
  FUi.edtFilter->setText(text);
}

QString TfmMain::FilterText() const {
  return FUi.edtFilter->text();
}

bool TfmMain::FilterRunning() const {
  return FFilter->Running();
}

void TfmMain::WaitForFilter() {
  while (FilterRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TfmMain::ShowFilterState(const QString& text, bool fault) {
  FUi.lblFilter->setText(text);
  FUi.lblFilter->setStyleSheet(fault ? QStringLiteral("color: #c00000;") : QString());
  FUi.edtFilter->setStyleSheet(fault ? QStringLiteral("QLineEdit { border: 1px solid #d00000; }")
                                     : QString());
}

void TfmMain::EndFilterProgress() {
  FUi.prgFilter->hide();
  FUi.btnFilterCancel->hide();
}

void TfmMain::ApplyFilter() {
  const QString text = FUi.edtFilter->text();
  TCommandFilter filter;
  try {
    filter = TCommandFilter::Parse(text.toStdString());
  } catch (const std::exception& e) {
    // The rows stay as they are; a run of an older text is of no use any more.
    FFilter->Cancel();
    EndFilterProgress();
    ShowFilterState(Q(e.what()), true);
    return;
  }
  ShowFilterState(QString(), false);
  if (filter.MatchesEverything()) {
    FFilter->Cancel();
    EndFilterProgress();
    InstallViewModels(nullptr, FDiffering != nullptr);
    return;
  }
  if (Loading() || FCommands.Empty()) return;  // matched when the commands are in
  FFilter->Start(
      FCommands,
      [filter](const TCommand& command, std::uint64_t number) {
        return filter.Matches(command, number);
      },
      text);
  FUi.prgFilter->setValue(0);
  FUi.prgFilter->show();
  FUi.btnFilterCancel->show();
  FUi.lblFilter->setText(T("Фильтрация..."));
}

void TfmMain::FilterFinished(const std::shared_ptr<TFilterRun>& run) {
  EndFilterProgress();
  if (run->Text != FUi.edtFilter->text()) return;
  CancelSearch();  // it walks the rows shown before
  InstallViewModels(run->Rows, FDiffering != nullptr);
  FShownText = run->Text;
  ShowFilterState(T("Показано: %1 из %2")
                      .arg(static_cast<qulonglong>(run->Rows->size()))
                      .arg(static_cast<qulonglong>(run->Total)),
                  false);
}

void TfmMain::CancelFilter() {
  if (!FilterRunning()) return;
  FFilter->Cancel();
  EndFilterProgress();
  ShowFilterState(T("Фильтр не применён: отменено"), false);
}

// ---- Following the log file -------------------------------------------------------------

bool TfmMain::Following() const {
  return FUi.chkFollow->isChecked();
}

void TfmMain::SetFollowing(bool on) {
  if (FUi.chkFollow->isChecked() != on) {
    FUi.chkFollow->setChecked(on);  // comes back here through toggled
    return;
  }
  if (on)
    StartFollowing();
  else
    StopFollowing();
}

void TfmMain::StartFollowing() {
  if (!Following() || FLogFile.isEmpty() || Loading()) return;
  // The last row may still get its answer: the follower hands it on again.
  FFinalRows = FCommands.Empty() ? 0 : FCommands.Count() - 1;
  FFollow->Start(FLogFile, FSettings.LogEncoding, FFinalRows, FLoadedLines);
}

void TfmMain::StopFollowing() {
  FFollow->Stop();
  FFollowRetry->stop();
  FFollowGone = false;
  FUi.lblFollow->hide();
}

bool TfmMain::ListInUse() const {
  return !FPlayback->Idle() || Loading() || FilterRunning() || SearchRunning() ||
         ComparisonRunning() || (FStatistics && !FStatistics->Ready());
}

void TfmMain::TakeFollowed() {
  if (!FFollow->Following()) return;
  if (ListInUse()) {
    // The player and the workers read the list as it is: the new commands wait for them.
    if (!Finished()) {
      FUi.lblFollow->setText(T("Новые команды будут добавлены после воспроизведения"));
      FUi.lblFollow->show();
    }
    FFollowRetry->start();
    return;
  }
  FUi.lblFollow->hide();
  if (std::unique_ptr<TFollowBatch> batch = FFollow->Take()) AddFollowed(*batch);
}

void TfmMain::AddFollowed(TFollowBatch& batch) {
  if (!batch.Diagnostics.empty()) {
    std::vector<TParseDiagnostic> all = FUi.dckDiagnostics->Diagnostics();
    all.insert(all.end(), batch.Diagnostics.begin(), batch.Diagnostics.end());
    ShowDiagnostics(std::move(all));
  }
  std::vector<const TCommand*> commands;
  for (const TCommand& command : batch.Finals) commands.push_back(&command);
  if (batch.Open) commands.push_back(&*batch.Open);
  if (commands.empty()) return;
  // The commands take the rows from the first one that was not final on.
  const std::size_t first = batch.Finals.empty() ? batch.OpenNumber - 1 : batch.FirstNumber - 1;
  if (first != FFinalRows || first + commands.size() < FCommands.Count()) {
    ReloadFollowed();  // the list is not the start of the file any more
    return;
  }
  FFinalRows += batch.Finals.size();
  QScrollBar* scroll = FUi.lvCommands->verticalScrollBar();
  const bool atEnd = scroll->value() == scroll->maximum();
  const int details = DetailsRow();
  bool detailsChanged = false;
  std::size_t next = 0;
  for (; next < commands.size() && first + next < FCommands.Count(); ++next) {
    const std::size_t row = first + next;
    if (FCommands[row].CmdData() == commands[next]->CmdData()) continue;
    FCommands[row] = TCommand(commands[next]->CmdData());
    FModel->CommandReplaced(static_cast<int>(row));
    detailsChanged = detailsChanged || static_cast<int>(row) == details;
  }
  FModel->AppendCommands(static_cast<int>(commands.size() - next), [&] {
    for (; next < commands.size(); ++next) FCommands.Add(commands[next]->CmdData());
  });
  const std::size_t count = FCommands.Count();
  FUi.progress->setRange(0, std::max(1, static_cast<int>(count) - 1));
  if (FShown) {
    // The display filter's rows from the first row changed on, by the expression they
    // were picked with.
    try {
      const TCommandFilter filter = TCommandFilter::Parse(FShownText.toStdString());
      std::vector<int> tail;
      for (std::size_t row = first; row < count; ++row)
        if (filter.Matches(FCommands[row], row + 1)) tail.push_back(static_cast<int>(row));
      FShown->ReplaceTail(static_cast<int>(first), tail);
      if (FShownText == FUi.edtFilter->text())
        ShowFilterState(T("Показано: %1 из %2")
                            .arg(static_cast<qulonglong>(FShown->Rows()->size()))
                            .arg(static_cast<qulonglong>(count)),
                        false);
    } catch (const std::exception&) {
      // The rows shown came from that expression: it reads.
    }
  }
  if (detailsChanged) ShowSelectedDetails();
  if (atEnd) FUi.lvCommands->scrollToBottom();
  emit ShownRowsChanged();
}

void TfmMain::FollowEnded(TFollowChange change, const QString& error) {
  if (change == TFollowChange::None) {
    FUi.chkFollow->setChecked(false);
    FUi.edtStatus->setText(T("  Слежение за файлом остановлено: %1").arg(error));
    return;
  }
  if (FPlayback->Idle())
    ReloadFollowed();
  else
    FFollowGone = true;  // read again when the playback ends
}

void TfmMain::ReloadFollowed() {
  FFollowGone = false;
  if (FLogFile.isEmpty()) return;
  FFollowReloading = true;
  if (!LoadLogFile(FLogFile)) FFollowReloading = false;
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

TStatisticsDialog* TfmMain::ShowStatistics() {
  delete FStatistics.data();
  auto* dialog = new TStatisticsDialog(FCommands, ShownRows(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &TStatisticsDialog::CommandPicked, this, &TfmMain::SelectCommandRow);
  FStatistics = dialog;
  dialog->show();
  return dialog;
}

}  // namespace quillon
