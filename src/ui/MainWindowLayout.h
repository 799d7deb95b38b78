// The controls of the main window: the buttons, the command list, the exceptions, the
// details, the popup menu and the file dialogs, with their names, texts, fonts and places.
#pragma once

class QAction;
class QIcon;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTableView;
class QToolButton;

namespace quillon {

class TBytesPane;
class TCommandModel;
class TEncodingButton;
class TLanguageButton;
class TDiagnosticsPanel;

// The controls; the window owns them (they are its children).
struct TMainWindowLayout {
  QPushButton* btnOpen = nullptr;
  // The encoding of the log files opened, beside the open button.
  TEncodingButton* btnEncoding = nullptr;
  QPushButton* btnSettings = nullptr;
  // The language of the texts, beside the settings button.
  TLanguageButton* btnLanguage = nullptr;
  QPushButton* btnPasteFromClipboard = nullptr;
  QPushButton* btnGetStatus = nullptr;
  QPushButton* btnFindError = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStartFromPosition = nullptr;
  QPushButton* btnStartCurrentLine = nullptr;
  QPushButton* btnStartSelected = nullptr;
  QPushButton* btnStop = nullptr;
  QCheckBox* chkIngoreKKTErrors = nullptr;
  QCheckBox* chkInfinitePlay = nullptr;
  // Following the log file while its driver writes it, and why new commands wait.
  QCheckBox* chkFollow = nullptr;
  QLabel* lblFollow = nullptr;
  QLabel* lblFileName = nullptr;
  QLineEdit* edtStatus = nullptr;
  QProgressBar* progress = nullptr;
  QLineEdit* edtSearch = nullptr;
  QPushButton* btnSearch = nullptr;
  QTableView* lvCommands = nullptr;
  QLabel* lbl = nullptr;
  QPlainTextEdit* memCommandExceptions = nullptr;
  QPlainTextEdit* memInfo = nullptr;
  // The selected command's bytes, beside the details; the splitter between the two.
  TBytesPane* memBytes = nullptr;
  QSplitter* splDetails = nullptr;
  QSplitter* spl1 = nullptr;
  QMenu* pmMain = nullptr;
  QAction* Pfdfa1 = nullptr;
  QAction* pmMain1 = nullptr;
  QAction* N3 = nullptr;
  QAction* N2 = nullptr;
  QAction* N5 = nullptr;
  QFileDialog* dlgOpen = nullptr;
  QFileDialog* dlgSave = nullptr;
  // The answer comparison: the column (also in the list header's own menu), the filter
  // (with its button beside the search), the report and the user's volatile fields.
  QMenu* pmHeader = nullptr;
  QAction* acCompareColumn = nullptr;
  QAction* acOnlyDiffers = nullptr;
  QAction* acSaveComparison = nullptr;
  QAction* acVolatileFields = nullptr;
  // The statistics of the shown rows.
  QAction* acStatistics = nullptr;
  QToolButton* btnOnlyDiffers = nullptr;
  QFileDialog* dlgReport = nullptr;
  // The time columns, in the list header's menu.
  QAction* acDeltaColumn = nullptr;
  QAction* acResponseColumn = nullptr;
  // The search backwards and the end of a search that runs.
  QToolButton* btnSearchBack = nullptr;
  QToolButton* btnSearchCancel = nullptr;
  // The display filter above the list: the expression, what became of it (its fault, or
  // how many rows are shown), the progress of the matching and its end.
  QLineEdit* edtFilter = nullptr;
  QLabel* lblFilter = nullptr;
  QProgressBar* prgFilter = nullptr;
  QToolButton* btnFilterCancel = nullptr;
  // The window's keys; the menus and the tool tips show them.
  QAction* acOpen = nullptr;
  QAction* acFocusSearch = nullptr;
  QAction* acFindNext = nullptr;
  QAction* acFindPrevious = nullptr;
  QAction* acNextError = nullptr;
  QAction* acPreviousError = nullptr;
  QAction* acFocusFilter = nullptr;
  QAction* acStart = nullptr;
  QAction* acStop = nullptr;
  QAction* acCopy = nullptr;
  QAction* acCopyHex = nullptr;
  // The damaged records of the log: how many, beside the status (hidden while there are
  // none), and the panel that lists them (hidden until the button opens it).
  QPushButton* btnDiagnostics = nullptr;
  TDiagnosticsPanel* dckDiagnostics = nullptr;
};

// Builds the controls into window, the list showing model, gives the window its font and
// default size and centres it on the screen. Connects nothing. The buttons get the pictures
// of the desktop's icon theme, else the window's own (ButtonIcon).
TMainWindowLayout BuildMainWindowLayout(QMainWindow& window, TCommandModel& model);

// The theme's icon themeName (a freedesktop name), else the window's own picture
// ":/icons/<picture>.svg".
QIcon ButtonIcon(const char* themeName, const char* picture);

}  // namespace quillon
