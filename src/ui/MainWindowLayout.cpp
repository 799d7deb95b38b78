#include "ui/MainWindowLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSvgRenderer>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/BytesPane.h"
#include "ui/CommandModel.h"
#include "ui/DiagnosticsPanel.h"
#include "ui/ElidedLabel.h"
#include "ui/EncodingButton.h"
#include "ui/FixedFont.h"
#include "ui/LanguageButton.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  return button;
}

// A window action with its key; its tool tip names the key. The window holds it, so that
// the key works wherever the focus is in the window.
QAction* MakeKeyAction(QMainWindow& window, const char* name, const QString& caption,
                       const QKeySequence& key) {
  auto* action = new QAction(caption, &window);
  action->setObjectName(QLatin1String(name));
  action->setShortcut(key);
  action->setToolTip(
      QStringLiteral("%1 (%2)").arg(caption, key.toString(QKeySequence::NativeText)));
  window.addAction(action);
  return action;
}

// The tool tip of a button that a key works too.
void NameKey(QWidget* control, const QString& text, const QAction* action) {
  control->setToolTip(
      QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText)));
}

}  // namespace

QIcon ButtonIcon(const char* themeName, const char* picture) {
  const QString name = QLatin1String(themeName);
  if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  // Drawn here at the sizes buttons use, so that no image plugin is needed.
  QSvgRenderer svg(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(picture)));
  QIcon icon;
  if (!svg.isValid()) return icon;
  for (int size : {16, 20, 24, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

TMainWindowLayout BuildMainWindowLayout(QMainWindow& window, TCommandModel& model) {
  TMainWindowLayout ui;
  auto* central = new QWidget(&window);
  window.setCentralWidget(central);
  window.setFont(QFont(QStringLiteral("Tahoma"), 8));
  window.setMinimumWidth(694);

  auto* upper = new QWidget;
  upper->setMinimumHeight(200);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(4, 4, 4, 4);

  auto* row1 = new QHBoxLayout;
  ui.btnOpen = MakeButton(upper, "btnOpen", T("Открыть файл лога"));
  ui.btnOpen->setDefault(true);
  ui.btnSettings = MakeButton(upper, "btnSettings", T("Настройка свойств ..."));
  ui.btnPasteFromClipboard = MakeButton(upper, "btnPasteFromClipboard", T("Вставить из буфера"));
  ui.btnGetStatus = MakeButton(upper, "btnGetStatus", T("Запрос состояния"));
  ui.btnFindError = MakeButton(upper, "btnFindError", T("Найти ошибку"));
  for (QPushButton* b :
       {ui.btnOpen, ui.btnSettings, ui.btnPasteFromClipboard, ui.btnGetStatus, ui.btnFindError})
    row1->addWidget(b);
  ui.btnEncoding = new TEncodingButton(upper);
  ui.btnEncoding->setObjectName(QStringLiteral("btnEncoding"));
  row1->insertWidget(row1->indexOf(ui.btnOpen) + 1, ui.btnEncoding);
  ui.btnLanguage = new TLanguageButton(upper);
  ui.btnLanguage->setObjectName(QStringLiteral("btnLanguage"));
  row1->insertWidget(row1->indexOf(ui.btnSettings) + 1, ui.btnLanguage);
  row1->addStretch();
  upperLayout->addLayout(row1);
  ui.btnOpen->setIcon(ButtonIcon("document-open", "open"));
  ui.btnSettings->setIcon(ButtonIcon("preferences-system", "settings"));

  auto* row2 = new QHBoxLayout;
  ui.btnStart = MakeButton(upper, "btnStart", T("Запустить"));
  ui.btnStartFromPosition =
      MakeButton(upper, "btnStartFromPosition", T("Запустить c текущей строки"));
  ui.btnStartCurrentLine = MakeButton(upper, "btnStartCurrentLine", T("Текущая строка"));
  ui.btnStartSelected = MakeButton(upper, "btnStartSelected", T("Выделенное"));
  ui.btnStop = MakeButton(upper, "btnStop", T("Остановить"));
  ui.btnStop->setEnabled(false);
  for (QPushButton* b : {ui.btnStart, ui.btnStartFromPosition, ui.btnStartCurrentLine,
                         ui.btnStartSelected, ui.btnStop})
    row2->addWidget(b);
  row2->addStretch();
  upperLayout->addLayout(row2);
  for (QPushButton* b :
       {ui.btnStart, ui.btnStartFromPosition, ui.btnStartCurrentLine, ui.btnStartSelected})
    b->setIcon(ButtonIcon("go-next", "right-chevron"));
  ui.btnStop->setIcon(ButtonIcon("process-stop", "cancel"));

  auto* row3 = new QHBoxLayout;
  ui.chkIngoreKKTErrors = new QCheckBox(T("Игнорировать ошибки ККТ"), upper);
  ui.chkIngoreKKTErrors->setObjectName(QStringLiteral("chkIngoreKKTErrors"));
  ui.chkInfinitePlay = new QCheckBox(T("Зациклить воспроизведение"), upper);
  ui.chkInfinitePlay->setObjectName(QStringLiteral("chkInfinitePlay"));
  ui.lblFileName = new TElidedLabel(upper);
  ui.lblFileName->setObjectName(QStringLiteral("lblFileName"));
  ui.chkFollow = new QCheckBox(T("Следить за файлом"), upper);
  ui.chkFollow->setObjectName(QStringLiteral("chkFollow"));
  ui.chkFollow->setToolTip(T("Добавлять в список команды, которые драйвер дописывает в файл лога"));
  ui.lblFollow = new QLabel(upper);
  ui.lblFollow->setObjectName(QStringLiteral("lblFollow"));
  ui.lblFollow->setVisible(false);
  row3->addWidget(ui.chkIngoreKKTErrors);
  row3->addWidget(ui.chkInfinitePlay);
  row3->addWidget(ui.chkFollow);
  row3->addWidget(ui.lblFollow);
  row3->addWidget(ui.lblFileName, 1);
  upperLayout->addLayout(row3);

  auto* row4 = new QHBoxLayout;
  ui.edtStatus = new QLineEdit(upper);
  ui.edtStatus->setObjectName(QStringLiteral("edtStatus"));
  ui.edtStatus->setReadOnly(true);
  ui.edtStatus->setText(
      T("  Откройте файл лога, либо перетащите файл в это окно, либо вставьте текст лога из "
        "буфера обмена"));
  ui.progress = new QProgressBar(upper);
  ui.progress->setObjectName(QStringLiteral("progress"));
  ui.progress->setTextVisible(false);
  ui.progress->setValue(0);
  ui.btnDiagnostics = MakeButton(upper, "btnDiagnostics", QString());
  ui.btnDiagnostics->setVisible(false);
  row4->addWidget(ui.edtStatus, 3);
  row4->addWidget(ui.btnDiagnostics);
  row4->addWidget(ui.progress, 1);
  upperLayout->addLayout(row4);

  auto* row5 = new QHBoxLayout;
  ui.edtSearch = new QLineEdit(upper);
  ui.edtSearch->setObjectName(QStringLiteral("edtSearch"));
  ui.edtSearch->setPlaceholderText(T("Поиск по времени или названию команды"));
  ui.edtSearch->setToolTip(ui.edtSearch->placeholderText());
  ui.btnSearch = MakeButton(upper, "btnSearch", T("Поиск"));
  row5->addWidget(ui.edtSearch, 1);
  row5->addWidget(ui.btnSearch);
  ui.btnOnlyDiffers = new QToolButton(upper);
  ui.btnOnlyDiffers->setObjectName(QStringLiteral("btnOnlyDiffers"));
  row5->addWidget(ui.btnOnlyDiffers);
  upperLayout->addLayout(row5);

  ui.btnSearchBack = new QToolButton(upper);
  ui.btnSearchBack->setObjectName(QStringLiteral("btnSearchBack"));
  ui.btnSearchCancel = new QToolButton(upper);
  ui.btnSearchCancel->setObjectName(QStringLiteral("btnSearchCancel"));
  ui.btnSearchCancel->setText(T("Отменить поиск"));
  ui.btnSearchCancel->setVisible(false);
  row5->insertWidget(row5->indexOf(ui.btnSearch) + 1, ui.btnSearchBack);
  row5->insertWidget(row5->indexOf(ui.btnSearchBack) + 1, ui.btnSearchCancel);

  auto* rowFilter = new QHBoxLayout;
  ui.edtFilter = new QLineEdit(upper);
  ui.edtFilter->setObjectName(QStringLiteral("edtFilter"));
  ui.edtFilter->setPlaceholderText(T("Фильтр: error or code == FF46"));
  ui.edtFilter->setClearButtonEnabled(true);
  ui.edtFilter->setToolTip(
      T("Показать только команды, подходящие под выражение:\n"
        "error, noanswer, code == 10, code in {10, 11}, name ~ \"чек\", summary ~ текст,\n"
        "thread == 00001234, time >= 21:27, response > 500, n <= 100;\n"
        "and, or, not и скобки. Пустая строка показывает все команды."));
  ui.lblFilter = new QLabel(upper);
  ui.lblFilter->setObjectName(QStringLiteral("lblFilter"));
  ui.prgFilter = new QProgressBar(upper);
  ui.prgFilter->setObjectName(QStringLiteral("prgFilter"));
  ui.prgFilter->setRange(0, 100);
  ui.prgFilter->setTextVisible(false);
  ui.prgFilter->setMaximumWidth(120);
  ui.prgFilter->setVisible(false);
  ui.btnFilterCancel = new QToolButton(upper);
  ui.btnFilterCancel->setObjectName(QStringLiteral("btnFilterCancel"));
  ui.btnFilterCancel->setText(T("Отменить фильтр"));
  ui.btnFilterCancel->setVisible(false);
  rowFilter->addWidget(ui.edtFilter, 1);
  rowFilter->addWidget(ui.lblFilter);
  rowFilter->addWidget(ui.prgFilter);
  rowFilter->addWidget(ui.btnFilterCancel);
  upperLayout->addLayout(rowFilter);

  auto* row6 = new QHBoxLayout;
  ui.lvCommands = new QTableView(upper);
  ui.lvCommands->setObjectName(QStringLiteral("lvCommands"));
  ui.lvCommands->setModel(&model);
  ui.lvCommands->setSelectionBehavior(QAbstractItemView::SelectRows);
  ui.lvCommands->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ui.lvCommands->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ui.lvCommands->setShowGrid(false);
  ui.lvCommands->setWordWrap(false);
  ui.lvCommands->verticalHeader()->hide();
  ui.lvCommands->verticalHeader()->setDefaultSectionSize(18);
  ui.lvCommands->horizontalHeader()->setStretchLastSection(true);
  ui.lvCommands->setColumnWidth(TCommandModel::colTime, 160);
  ui.lvCommands->setColumnWidth(TCommandModel::colThread, 70);
  ui.lvCommands->setColumnWidth(TCommandModel::colCommand, 240);
  ui.lvCommands->setColumnHidden(TCommandModel::colCompare, true);
  for (int column : {TCommandModel::colDelta, TCommandModel::colResponse}) {
    ui.lvCommands->setColumnWidth(column, 80);
    ui.lvCommands->setColumnHidden(column, true);
  }
  ui.lvCommands->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  ui.lvCommands->setContextMenuPolicy(Qt::CustomContextMenu);
  row6->addWidget(ui.lvCommands, 1);
  auto* exceptionsLayout = new QVBoxLayout;
  ui.lbl = new QLabel(T("Команды-исключения:"), upper);
  ui.lbl->setObjectName(QStringLiteral("lbl"));
  ui.memCommandExceptions = new QPlainTextEdit(upper);
  ui.memCommandExceptions->setObjectName(QStringLiteral("memCommandExceptions"));
  ui.memCommandExceptions->setFont(FixedFont());
  ui.memCommandExceptions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ui.memCommandExceptions->setToolTip(T("Коды команд, которые не будут выполняться") +
                                      QLatin1Char('\n') +
                                      T("Каждый код команды на отдельной строке"));
  ui.memCommandExceptions->setPlainText(QStringLiteral("FF 0A"));
  ui.memCommandExceptions->setMaximumWidth(140);
  exceptionsLayout->addWidget(ui.lbl);
  exceptionsLayout->addWidget(ui.memCommandExceptions, 1);
  row6->addLayout(exceptionsLayout);
  upperLayout->addLayout(row6, 1);

  ui.memInfo = new QPlainTextEdit;
  ui.memInfo->setObjectName(QStringLiteral("memInfo"));
  ui.memInfo->setReadOnly(true);
  ui.memInfo->setFont(FixedFont());
  ui.memInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ui.memInfo->setMinimumHeight(50);
  ui.memBytes = new TBytesPane;
  ui.memBytes->setObjectName(QStringLiteral("memBytes"));
  ui.memBytes->setMinimumHeight(50);
  ui.splDetails = new QSplitter(Qt::Horizontal);
  ui.splDetails->setObjectName(QStringLiteral("splDetails"));
  ui.splDetails->addWidget(ui.memInfo);
  ui.splDetails->addWidget(ui.memBytes);
  ui.splDetails->setChildrenCollapsible(false);
  ui.splDetails->setSizes({360, 454});

  ui.spl1 = new QSplitter(Qt::Vertical, central);
  ui.spl1->setObjectName(QStringLiteral("spl1"));
  ui.spl1->addWidget(upper);
  ui.spl1->addWidget(ui.splDetails);
  ui.spl1->setChildrenCollapsible(false);
  ui.spl1->setStretchFactor(0, 1);
  ui.spl1->setStretchFactor(1, 0);
  ui.spl1->setSizes({584 - 216, 216});
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->addWidget(ui.spl1);
  ui.dckDiagnostics = new TDiagnosticsPanel(&window);
  window.addDockWidget(Qt::BottomDockWidgetArea, ui.dckDiagnostics);
  ui.dckDiagnostics->setVisible(false);

  ui.pmMain = new QMenu(&window);
  ui.pmMain->setObjectName(QStringLiteral("pmMain"));
  auto addAction = [&ui](const char* name, const QString& caption) {
    QAction* action = ui.pmMain->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
  };
  ui.Pfdfa1 = addAction("Pfdfa1", T("Выполнить эту строку"));
  ui.pmMain1 = addAction("pmMain1", T("Запустить с этой строки"));
  ui.N3 = addAction("N3", T("Запустить выделенное"));
  ui.pmMain->addSeparator();
  ui.N2 = addAction("N2", T("Сохранить в файл..."));
  ui.pmMain->addSeparator();
  ui.N5 = addAction("N5", T("Вставить из буфера обмена"));
  ui.pmMain->addSeparator();
  ui.acCompareColumn = addAction("acCompareColumn", T("Столбец \"Сравнение\""));
  ui.acCompareColumn->setCheckable(true);
  ui.acOnlyDiffers = addAction("acOnlyDiffers", T("Только различающиеся ответы"));
  ui.acOnlyDiffers->setCheckable(true);
  ui.acOnlyDiffers->setToolTip(
      T("Показать только команды, ответ которых при воспроизведении отличается от ответа в логе"));
  ui.acSaveComparison = addAction("acSaveComparison", T("Сохранить сравнение..."));
  ui.acVolatileFields = addAction("acVolatileFields", T("Изменчивые поля..."));
  ui.pmMain->addSeparator();
  ui.acStatistics = addAction("acStatistics", T("Статистика..."));
  ui.acStatistics->setToolTip(
      T("Число команд, ошибки и время ответа по кодам команд для показанных строк"));
  ui.btnOnlyDiffers->setDefaultAction(ui.acOnlyDiffers);
  ui.pmHeader = new QMenu(&window);
  ui.pmHeader->setObjectName(QStringLiteral("pmHeader"));
  ui.pmHeader->addAction(ui.acCompareColumn);
  ui.acDeltaColumn = ui.pmHeader->addAction(T("Столбец \"Δ, мс\""));
  ui.acDeltaColumn->setObjectName(QStringLiteral("acDeltaColumn"));
  ui.acDeltaColumn->setToolTip(T("Миллисекунды от запроса предыдущей команды лога"));
  ui.acResponseColumn = ui.pmHeader->addAction(T("Столбец \"Ответ, мс\""));
  ui.acResponseColumn->setObjectName(QStringLiteral("acResponseColumn"));
  ui.acResponseColumn->setToolTip(T("Время ответа ККТ в миллисекундах"));
  for (QAction* action : {ui.acDeltaColumn, ui.acResponseColumn}) action->setCheckable(true);

  ui.acOpen =
      MakeKeyAction(window, "acOpen", T("Открыть файл лога"), QKeySequence(Qt::CTRL | Qt::Key_O));
  ui.acFocusSearch =
      MakeKeyAction(window, "acFocusSearch", T("Поиск"), QKeySequence(Qt::CTRL | Qt::Key_F));
  ui.acFindNext = MakeKeyAction(window, "acFindNext", T("Найти далее"), QKeySequence(Qt::Key_F3));
  ui.acFindPrevious = MakeKeyAction(window, "acFindPrevious", T("Найти назад"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_F3));
  ui.acNextError = MakeKeyAction(window, "acNextError", T("Следующая ошибка"),
                                 QKeySequence(Qt::CTRL | Qt::Key_E));
  ui.acPreviousError = MakeKeyAction(window, "acPreviousError", T("Предыдущая ошибка"),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  ui.acFocusFilter =
      MakeKeyAction(window, "acFocusFilter", T("Фильтр"), QKeySequence(Qt::CTRL | Qt::Key_L));
  ui.acStart = MakeKeyAction(window, "acStart", T("Запустить"), QKeySequence(Qt::Key_F5));
  ui.acStop = MakeKeyAction(window, "acStop", T("Остановить"), QKeySequence(Qt::Key_Escape));
  ui.acStop->setToolTip(
      T("Отменить поиск или фильтр, а если они не идут, остановить "
        "воспроизведение (Esc)"));
  ui.acCopy = MakeKeyAction(window, "acCopy", T("Копировать"), QKeySequence(Qt::CTRL | Qt::Key_C));
  ui.acCopyHex = new QAction(T("Копировать запрос и ответ (hex)"), &window);
  ui.acCopyHex->setObjectName(QStringLiteral("acCopyHex"));
  ui.N2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  window.addAction(ui.N2);
  ui.pmMain->addSeparator();
  for (QAction* action : {ui.acCopy, ui.acCopyHex}) ui.pmMain->addAction(action);
  ui.pmMain->addSeparator();
  for (QAction* action : {ui.acFindNext, ui.acFindPrevious, ui.acNextError, ui.acPreviousError})
    ui.pmMain->addAction(action);
  ui.btnSearchBack->setDefaultAction(ui.acFindPrevious);
  NameKey(ui.btnOpen, ui.btnOpen->text(), ui.acOpen);
  NameKey(ui.btnSearch, T("Найти далее"), ui.acFindNext);
  ui.btnSearch->setToolTip(
      ui.btnSearch->toolTip() + QLatin1Char('\n') +
      T("\"hex: 11 1E\" ищет байты в запросе и ответе, \"re: ...\" - "
        "регулярное выражение; поле поиска: %1")
          .arg(ui.acFocusSearch->shortcut().toString(QKeySequence::NativeText)));
  NameKey(ui.btnSearchCancel, T("Отменить поиск"), ui.acStop);
  NameKey(ui.btnFindError, ui.btnFindError->text(), ui.acNextError);
  NameKey(ui.btnFilterCancel, T("Отменить фильтр"), ui.acStop);
  NameKey(ui.btnStart, ui.btnStart->text(), ui.acStart);
  NameKey(ui.btnStop, ui.btnStop->text(), ui.acStop);

  ui.dlgOpen = new QFileDialog(&window);
  ui.dlgOpen->setObjectName(QStringLiteral("dlgOpen"));
  ui.dlgOpen->setAcceptMode(QFileDialog::AcceptOpen);
  ui.dlgOpen->setFileMode(QFileDialog::ExistingFile);
  ui.dlgOpen->setNameFilters({QStringLiteral("*.log;*.txt (*.log *.txt)"),
                              QStringLiteral("*.log (*.log)"), QStringLiteral("*.txt (*.txt)"),
                              QStringLiteral("*.* (*)")});
  ui.dlgSave = new QFileDialog(&window);
  ui.dlgSave->setObjectName(QStringLiteral("dlgSave"));
  ui.dlgSave->setAcceptMode(QFileDialog::AcceptSave);
  ui.dlgSave->setFileMode(QFileDialog::AnyFile);
  ui.dlgSave->setDefaultSuffix(QStringLiteral("txt"));
  ui.dlgSave->setNameFilters({QStringLiteral("*.txt (*.txt)"), QStringLiteral("*.* (*)")});
  ui.dlgReport = new QFileDialog(&window);
  ui.dlgReport->setObjectName(QStringLiteral("dlgReport"));
  ui.dlgReport->setAcceptMode(QFileDialog::AcceptSave);
  ui.dlgReport->setFileMode(QFileDialog::AnyFile);
  ui.dlgReport->setDefaultSuffix(QStringLiteral("jsonl"));
  ui.dlgReport->setNameFilters({QStringLiteral("*.jsonl (*.jsonl)"), QStringLiteral("*.* (*)")});

  window.resize(814, 584);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(), window.size());
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
  return ui;
}

}  // namespace quillon
