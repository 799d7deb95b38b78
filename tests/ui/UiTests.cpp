// Widget tests of the main window on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/KorvanProtocol2.h"
#include "core/TextFile.h"
#include "core/Version.h"
#include "driver/DeviceAddress.h"
#include "driver/TarvexDriver.h"
#include "emulator/Emulator.h"
#include "parser/AnswerComparison.h"
#include "parser/CommandDetails.h"
#include "parser/CommandFilter.h"
#include "ui/CommandModel.h"
#include "ui/DiagnosticsPanel.h"
#include "ui/DriverProperties.h"
#include "ui/ElidedLabel.h"
#include "ui/MainSettings.h"
#include "ui/StatisticsDialog.h"
#include "ui/fmuMain.h"

namespace quillon {
namespace {

std::string Frame(const char* payloadHex, int number) {
  TKorvanFrame2 frame;
  frame.Data = HexToBytes(payloadHex);
  frame.Number = number;
  return BytesToHex(TKorvanProtocol2::Encode(frame));
}

std::string Head(int second) {
  return "[31.12.2024 10:15:0" + std::to_string(second) + ".123] [00001234] [DEBUG] ";
}

// Rows: 0 status command, 1 sale (bold), 2 code 6B (red data), 3 code 2F (Courier),
// 4 status command failing with 0x37, 5 request without answer.
std::string TestLog() {
  struct TExchange {
    const char* Request;
    const char* Answer;
  };
  const TExchange exchanges[] = {
      {"10 1E 00 00 00", "10 00 1E"},
      {"80 1E 00 00 00 10 27 00 00 00 E8 03 00 00 00 01 00 00 00 00", "80 00 1E"},
      {"6B 1E 00 00 00 01", "6B 00 01"},
      {"2F 1E 00 00 00 01 01", "2F 00 1E"},
      {"11 1E 00 00 00", "11 37"},
      {"10 1E 00 00 00", nullptr},
  };
  std::string log;
  int number = 1;
  int second = 0;
  for (const TExchange& exchange : exchanges) {
    log += Head(second) + "TPrinterProtocol2 -> " + Frame(exchange.Request, number) + "\r\n";
    if (exchange.Answer)
      log += Head(second) + "TPrinterProtocol2 <- " + Frame(exchange.Answer, number) + "\r\n";
    ++number;
    ++second;
  }
  return log;
}

// A register that answers every command with its code and result 0, except command 0x11,
// which fails with result 0x37; its status takes statusDelayMs.
class TFakeDriver : public IDriver {
 public:
  explicit TFakeDriver(int statusDelayMs = 0) : FStatusDelayMs(statusDelayMs) {}
  int BinaryConversion() const override { return 1; }
  void SetBinaryConversion(int) override {}
  std::string TransferBytes() const override { return FBytes; }
  void SetTransferBytes(const std::string& hex) override { FBytes = hex; }
  int ExchangeBytes() override {
    const std::string code = FBytes.substr(0, 2);
    FResult = code == "11" ? 0x37 : 0;
    FBytes = code + (FResult == 0 ? " 00 AA" : " 37");
    return FResult;
  }
  int ResultCode() const override { return FResult; }
  std::string ResultCodeDescription() const override {
    return FResult ? "Команда не поддерживается" : "Ошибок нет";
  }
  int WaitForPrinting() override { return 0; }
  int SysAdminPassword() const override { return 30; }
  int Password() const override { return FPassword; }
  void SetPassword(int value) override { FPassword = value; }
  int GetECRStatus() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(FStatusDelayMs));
    return FPassword == 30 ? 0 : 0x4F;
  }
  int ECRMode() const override { return 4; }
  std::string ECRModeDescription() const override { return "Закрытая смена"; }
  int ECRAdvancedMode() const override { return 0; }
  std::string ECRAdvancedModeDescription() const override { return "Бумага есть"; }

 private:
  std::string FBytes;
  int FResult = 0;
  int FPassword = 0;
  int FStatusDelayMs = 0;
};

struct TBox {
  QMessageBox::Icon Icon;
  QString Title;
  QString Text;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FSettingsPath = FDir.filePath(QStringLiteral("settings.xml"));
    FWindow = MakeWindow();
  }

  std::unique_ptr<TfmMain> MakeWindow() {
    auto window = std::make_unique<TfmMain>(nullptr, FSettingsPath);
    window->SetMessageBox([this](QMessageBox::Icon icon, const QString& title, const QString& text,
                                 QMessageBox::StandardButtons) {
      FBoxes.push_back({icon, title, text});
      if (FAnswers.empty()) return QMessageBox::Cancel;
      const QMessageBox::StandardButton answer = FAnswers.front();
      FAnswers.pop_front();
      return answer;
    });
    window->SetDriverFactory([] { return std::make_unique<TFakeDriver>(); });
    return window;
  }

  void WaitForPlayback() {
    while (!FWindow->Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }

  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = FDir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  void LoadTestLog() {
    const QString path =
        WriteFile(QStringLiteral("test.log"), QByteArray::fromStdString(TestLog()));
    ASSERT_TRUE(FWindow->LoadLogFile(path));
    FWindow->WaitForLoad();
    ASSERT_EQ(FWindow->Model()->rowCount(), 6);
  }

  template <class T>
  T* Child(const char* name) {
    T* child = FWindow->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  void Select(int row) {
    auto* view = Child<QTableView>("lvCommands");
    view->selectionModel()->setCurrentIndex(
        FWindow->Model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }

  int SelectedRow() {
    const QModelIndexList rows = Child<QTableView>("lvCommands")->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
  }

  QTemporaryDir FDir;
  QString FSettingsPath;
  std::unique_ptr<TfmMain> FWindow;
  std::vector<TBox> FBoxes;
  std::deque<QMessageBox::StandardButton> FAnswers;
};

TEST_F(MainWindowTest, StartsWithCaptionTextsAndColumns) {
  EXPECT_TRUE(FWindow->windowTitle().startsWith(QStringLiteral("Norvessa: Quillon & analyzer v.")));
  EXPECT_EQ(FWindow->windowTitle().mid(31).split(QLatin1Char('.')).size(), 4);
  EXPECT_EQ(FWindow->windowTitle().mid(31), QString::fromStdString(QuillonVersion()));
  EXPECT_EQ(Child<QLineEdit>("edtStatus")->text(),
            QStringLiteral("  Откройте файл лога, либо перетащите файл в это окно, либо вставьте "
                           "текст лога из буфера обмена"));
  EXPECT_EQ(Child<QLineEdit>("edtSearch")->placeholderText(),
            QStringLiteral("Поиск по времени или названию команды"));
  EXPECT_EQ(Child<QPlainTextEdit>("memCommandExceptions")->toPlainText(), QStringLiteral("FF 0A"));
  EXPECT_FALSE(Child<QWidget>("btnStop")->isEnabled());
  const QStringList titles{"Time", "Thread", "Command", "Data"};
  for (int column = 0; column < titles.size(); ++column)
    EXPECT_EQ(FWindow->Model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
  EXPECT_EQ(FWindow->Model()->rowCount(), 0);
}

TEST_F(MainWindowTest, LoadsFileIntoRowsAndReportsUnreadableFile) {
  LoadTestLog();
  const TCommandModel& model = *FWindow->Model();
  EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("31.12.2024 10:15:00.123"));
  EXPECT_EQ(model.index(4, 0).data().toString(), QStringLiteral("31.12.2024 10:15:04.123"));
  EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("00001234"));
  EXPECT_TRUE(model.index(4, 2).data().toString().startsWith(QStringLiteral("11, ")));
  EXPECT_EQ(Child<QLabel>("lblFileName")->text(), FDir.filePath(QStringLiteral("test.log")));
  EXPECT_TRUE(Child<QLineEdit>("edtStatus")->text().isEmpty());
  EXPECT_TRUE(FBoxes.empty());

  const QString missing = FDir.filePath(QStringLiteral("missing.log"));
  ASSERT_TRUE(FWindow->LoadLogFile(missing));
  FWindow->WaitForLoad();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(FBoxes[0].Text.contains(missing));
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_TRUE(Child<QLineEdit>("edtStatus")->text().isEmpty());
}

TEST_F(MainWindowTest, LoadsDroppedFileAndClipboardText) {
  const QString path =
      WriteFile(QStringLiteral("dropped.log"), QByteArray::fromStdString(TestLog()));
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(QStringLiteral("/nonexistent"))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  // Delivered to the window itself, as the platform's drag manager does.
  static_cast<QObject*>(FWindow.get())->event(&drop);
  EXPECT_TRUE(drop.isAccepted());
  FWindow->WaitForLoad();
  EXPECT_EQ(FWindow->Model()->rowCount(), 6);
  EXPECT_EQ(Child<QLabel>("lblFileName")->text(), path);

  // Clipboard text with LF line ends gives the same commands, the first of them only here.
  std::string text = TestLog();
  text = text.substr(0, text.find("\r\n", text.find("<-")));
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
  ASSERT_TRUE(FWindow->PasteFromClipboard());
  FWindow->WaitForLoad();
  EXPECT_EQ(FWindow->Model()->rowCount(), 1);
  EXPECT_EQ(Child<QLabel>("lblFileName")->text(), QStringLiteral("Clipboard"));
  auto* progress = Child<QProgressBar>("progress");
  EXPECT_LT(progress->minimum(), progress->maximum());  // one command: idle, not busy
  EXPECT_FALSE(FWindow->Commands()[0].HasError());

  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(FWindow->PasteFromClipboard());
  EXPECT_EQ(FWindow->Model()->rowCount(), 1);
}

TEST_F(MainWindowTest, PasteButtonLoadsWhatTheFileHoldsAndAMissingFileKeepsItsMessage) {
  LoadTestLog();
  auto requests = [&] {
    std::vector<std::string> list;
    for (const auto& command : FWindow->Commands()) list.push_back(command->TxData());
    return list;
  };
  const std::vector<std::string> fromFile = requests();
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  QGuiApplication::clipboard()->setText(QString::fromStdString(TestLog()));
  QTest::mouseClick(Child<QPushButton>("btnPasteFromClipboard"), Qt::LeftButton);
  auto* progress = Child<QProgressBar>("progress");
  EXPECT_TRUE(FWindow->Loading());
  EXPECT_EQ(progress->maximum(), 100);
  EXPECT_EQ(Child<QLineEdit>("edtStatus")->text(), QStringLiteral("  Загрузка..."));
  EXPECT_FALSE(FWindow->LoadLogFile(FDir.filePath(QStringLiteral("test.log"))));  // one at a time
  FWindow->WaitForLoad();
  EXPECT_EQ(Child<QLabel>("lblFileName")->text(), QStringLiteral("Clipboard"));
  EXPECT_EQ(requests(), fromFile);
  EXPECT_EQ(progress->maximum(), 5);
  EXPECT_TRUE(FBoxes.empty());

  // The box shows the reader's own message about the file.
  const QString missing = FDir.filePath(QStringLiteral("missing.log"));
  std::string message;
  try {
    TTextLineReader reader(missing.toStdString());
  } catch (const std::exception& e) {
    message = e.what();
  }
  ASSERT_TRUE(FWindow->LoadLogFile(missing));
  FWindow->WaitForLoad();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Title, QStringLiteral("Ошибка"));
  EXPECT_EQ(FBoxes[0].Text.toStdString(), message);
  EXPECT_EQ(progress->value(), 0);
}

// Rows of TestLog and a damaged request frame before the first, one after the third and
// `tail` after the last: lines 1 and 8 and from 14 on; the commands begin on lines 2, 4, 6,
// 9, 11 and 13.
std::string DamagedLog(int tail) {
  const std::string damaged =
      Head(9) + "TPrinterProtocol2 -> 8F 07 00 01 00 9F 00 1E 00 00 00 12 34\r\n";
  const std::string log = TestLog();
  std::size_t third = 0;  // the end of the third exchange (two lines each)
  for (int line = 0; line < 6; ++line) third = log.find("\r\n", third) + 2;
  std::string out = damaged + log.substr(0, third) + damaged + log.substr(third);
  for (int i = 0; i < tail; ++i) out += damaged;
  return out;
}

TEST_F(MainWindowTest, DamagedFramesAreCountedAndListedAndPickTheNearestCommand) {
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  const QString path =
      WriteFile(QStringLiteral("damaged.log"), QByteArray::fromStdString(DamagedLog(23)));
  ASSERT_TRUE(FWindow->LoadLogFile(path));
  FWindow->WaitForLoad();
  EXPECT_EQ(FWindow->Model()->rowCount(), 6);
  EXPECT_TRUE(FBoxes.empty());  // nothing waits for the user
  auto* counter = Child<QPushButton>("btnDiagnostics");
  auto* panel = Child<TDiagnosticsPanel>("dckDiagnostics");
  EXPECT_TRUE(counter->isVisible());
  EXPECT_EQ(counter->text(), QStringLiteral("Повреждённых кадров: 25"));
  const QStringList summary = counter->toolTip().split(QLatin1Char('\n'));
  EXPECT_EQ(summary.size(), 21);
  EXPECT_EQ(summary.last(), QStringLiteral("... и еще 5"));
  EXPECT_FALSE(panel->isVisible());

  QTest::mouseClick(counter, Qt::LeftButton);
  ASSERT_TRUE(panel->isVisible());
  QListView* list = panel->List();
  ASSERT_EQ(list->model()->rowCount(), 25);
  EXPECT_TRUE(
      list->model()->index(1, 0).data().toString().startsWith(QStringLiteral("Строка 8: ")));
  auto pick = [&](int entry) {
    const QModelIndex index = list->model()->index(entry, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    return SelectedRow();
  };
  // Before the first command: the first; after the third: the third; at the end: the last.
  EXPECT_EQ(pick(0), 0);
  EXPECT_EQ(pick(1), 2);
  EXPECT_EQ(pick(24), 5);
  // Only the shown rows are picked from: here row 4 alone, the first after line 8.
  FWindow->SetFilterText(QStringLiteral("code == 11"));
  FWindow->WaitForFilter();
  ASSERT_EQ(FWindow->ShownRows(), std::vector<int>{4});
  pick(1);
  EXPECT_EQ(FWindow->SelectedCommandRows(), std::vector<int>{4});
  FWindow->SetFilterText(QString());
  FWindow->WaitForFilter();

  // A sound log hides the counter and the panel.
  LoadTestLog();
  EXPECT_FALSE(counter->isVisible());
  EXPECT_FALSE(panel->isVisible());
  EXPECT_TRUE(FBoxes.empty());
}

TEST_F(MainWindowTest, AFileDroppedOnATextBoxLoadsTheLogAndPlainTextGoesIn) {
  struct TBoxCase {
    const char* Name;
    std::function<QWidget*()> Target;  // where the platform delivers the drop
    std::function<QString()> Text;
  };
  auto* search = Child<QLineEdit>("edtSearch");
  auto* filter = Child<QLineEdit>("edtFilter");
  auto* exceptions = Child<QPlainTextEdit>("memCommandExceptions");
  const TBoxCase cases[] = {
      {"edtSearch", [&] { return search; }, [&] { return search->text(); }},
      {"edtFilter", [&] { return filter; }, [&] { return filter->text(); }},
      {"memCommandExceptions", [&] { return exceptions->viewport(); },
       [&] { return exceptions->toPlainText(); }},
  };
  const QByteArray log = QByteArray::fromStdString(TestLog());
  for (const TBoxCase& c : cases) {
    const QString before = c.Text();
    const QString path = WriteFile(QString::fromLatin1(c.Name) + QStringLiteral(".log"), log);
    QMimeData mime;  // as a file manager gives it: the address and the path as text
    mime.setUrls({QUrl::fromLocalFile(path)});
    mime.setText(path);
    QWidget* target = c.Target();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted()) << c.Name;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted()) << c.Name;
    EXPECT_TRUE(FWindow->Loading()) << c.Name;
    FWindow->WaitForLoad();
    EXPECT_EQ(Child<QLabel>("lblFileName")->text(), path) << c.Name;
    EXPECT_EQ(FWindow->Model()->rowCount(), 6) << c.Name;
    EXPECT_EQ(c.Text(), before) << c.Name;
  }

  // Text that is no file goes into the box.
  QMimeData text;
  text.setText(QStringLiteral("10:15:03"));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(search, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(search, &drop);
  EXPECT_EQ(search->text(), QStringLiteral("10:15:03"));
  EXPECT_FALSE(FWindow->Loading());
  EXPECT_TRUE(FBoxes.empty());
}

TEST_F(MainWindowTest, ALongFileNameIsShortenedInTheMiddleAndLeavesTheWindowsWidth) {
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  const int width = FWindow->width();
  QString dir = FDir.path();
  for (char letter : {'a', 'b', 'c'}) {
    dir += QLatin1Char('/') + QString(120, QLatin1Char(letter));
    ASSERT_TRUE(QDir().mkpath(dir));
  }
  const QString path = dir + QStringLiteral("/test.log");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray::fromStdString(TestLog()));
  file.close();
  ASSERT_TRUE(FWindow->LoadLogFile(path));
  FWindow->WaitForLoad();
  QCoreApplication::processEvents();
  EXPECT_EQ(FWindow->width(), width);
  EXPECT_LT(FWindow->minimumSizeHint().width(), width);
  auto* label = qobject_cast<TElidedLabel*>(Child<QLabel>("lblFileName"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), path);
  EXPECT_EQ(label->toolTip(), path);
  auto check = [&] {
    const QString shown = label->ShownText();
    EXPECT_TRUE(shown.startsWith(FDir.path().left(4))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/test.log"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    return shown.size();
  };
  const qsizetype narrow = check();
  FWindow->resize(width + 300, FWindow->height());
  QCoreApplication::processEvents();
  EXPECT_GT(check(), narrow);  // shortened again for the new width
}

TEST_F(MainWindowTest, DetailsExceptionsAndCodeCellsHaveAFixedPitchFont) {
  LoadTestLog();
  const std::pair<const char*, QFont> fonts[] = {
      {"memInfo", Child<QPlainTextEdit>("memInfo")->font()},
      {"memCommandExceptions", Child<QPlainTextEdit>("memCommandExceptions")->font()},
      {"0x2F data", FWindow->Model()->index(3, 3).data(Qt::FontRole).value<QFont>()},
  };
  for (const auto& [name, font] : fonts) {
    EXPECT_EQ(font.family(), QStringLiteral("Courier New")) << name;  // where there is one
    EXPECT_GT(font.families().size(), 1) << name;                     // and where there is not
    // Every glyph as wide as the next: what the eye needs to line up columns of hex.
    // (Some monospaced fonts do not say so of themselves, so the widths are measured.)
    const QFontMetrics metrics(font);
    EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("iiii1111")),
              metrics.horizontalAdvance(QStringLiteral("WWWWMMMM")))
        << name;
  }
}

TEST_F(MainWindowTest, ANewLogDuringAPlaybackIsRefusedWithTheReason) {
  LoadTestLog();
  const QString loaded = Child<QLabel>("lblFileName")->text();
  std::string one = TestLog();
  one = one.substr(0, one.find("\r\n", one.find("<-")) + 2);
  const QString other = WriteFile(QStringLiteral("other.log"), QByteArray::fromStdString(one));
  Child<QCheckBox>("chkInfinitePlay")->setChecked(true);
  Child<QCheckBox>("chkIngoreKKTErrors")->setChecked(true);
  FWindow->StartAll();
  ASSERT_FALSE(FWindow->Finished());

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(other)});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject*>(FWindow.get())->event(&drop);
  EXPECT_TRUE(FBoxes.empty());  // told once the drop has returned
  QCoreApplication::processEvents();
  QGuiApplication::clipboard()->setText(QString::fromStdString(one));
  EXPECT_FALSE(FWindow->PasteFromClipboard());
  QCoreApplication::processEvents();
  EXPECT_EQ(FBoxes.size(), 2u);  // and the playback is stopped below all the same
  for (const TBox& box : FBoxes)
    EXPECT_EQ(box.Text,
              QStringLiteral("Идёт воспроизведение: новый лог можно открыть после остановки"));
  FWindow->StopAndWait();
  EXPECT_EQ(FWindow->Model()->rowCount(), 6);
  EXPECT_EQ(Child<QLabel>("lblFileName")->text(), loaded);

  // Stopped, the same drop loads the log; one command leaves the progress bar idle, not busy.
  static_cast<QObject*>(FWindow.get())->event(&drop);
  FWindow->WaitForLoad();
  EXPECT_EQ(FWindow->Model()->rowCount(), 1);
  auto* progress = Child<QProgressBar>("progress");
  EXPECT_LT(progress->minimum(), progress->maximum());
  EXPECT_EQ(FBoxes.size(), 2u);
}

TEST_F(MainWindowTest, EachSelectionDecodesTheRowOnce) {
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  LoadTestLog();
  auto* view = Child<QTableView>("lvCommands");
  auto* info = Child<QPlainTextEdit>("memInfo");
  QSignalSpy updates(info, &QPlainTextEdit::textChanged);
  auto click = [view](int row, Qt::KeyboardModifiers modifiers = {}) {
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cell.center());
  };
  struct TStep {
    const char* Name;
    std::function<void()> Act;
    int Row;      // whose details are shown then
    int Updates;  // of the details pane
  };
  const TStep steps[] = {
      {"click", [&] { click(2); }, 2, 1},
      {"same row", [&] { click(2); }, 2, 0},
      {"down", [&] { QTest::keyClick(view, Qt::Key_Down); }, 3, 1},
      {"ctrl-click", [&] { click(5, Qt::ControlModifier); }, 5, 1},
      {"click", [&] { click(0); }, 0, 1},
      {"shift-click", [&] { click(4, Qt::ShiftModifier); }, 4, 1},
  };
  for (const TStep& step : steps) {
    updates.clear();
    step.Act();
    EXPECT_EQ(updates.count(), step.Updates) << step.Name << " " << step.Row;
    EXPECT_EQ(info->toPlainText(),
              QString::fromStdString(FormatCommandDetails(FWindow->Commands()[step.Row])))
        << step.Name << " " << step.Row;
  }
}

TEST_F(MainWindowTest, ButtonsAndTheWindowHaveTheirPicturesWithoutAnIconTheme) {
  const char* const buttons[] = {
      "btnOpen",          "btnSettings", "btnStart", "btnStartFromPosition", "btnStartCurrentLine",
      "btnStartSelected", "btnStop"};
  const QString themeName = QIcon::themeName();
  const QStringList searchPaths = QIcon::themeSearchPaths();
  QIcon::setThemeSearchPaths({FDir.filePath(QStringLiteral("no-icons"))});
  QIcon::setThemeName(QStringLiteral("quillon-none"));
  FWindow = MakeWindow();
  auto image = [this](const char* name) {
    return Child<QPushButton>(name)->icon().pixmap(16).toImage();
  };
  auto drawn = [](const QImage& picture) {
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (qAlpha(picture.pixel(x, y)) > 0) return true;
    return false;
  };
  for (const char* name : buttons) {
    const QImage picture = image(name);
    ASSERT_FALSE(picture.isNull()) << name;
    EXPECT_TRUE(drawn(picture)) << name;
  }
  // The window's own icon, the one installed for the desktop.
  const QImage windowPicture = FWindow->windowIcon().pixmap(16).toImage();
  EXPECT_TRUE(drawn(windowPicture));
  EXPECT_NE(windowPicture, image("btnOpen"));
  EXPECT_EQ(image("btnStart"), image("btnStartSelected"));
  EXPECT_NE(image("btnOpen"), image("btnSettings"));
  EXPECT_NE(image("btnStart"), image("btnStop"));
  QIcon::setThemeSearchPaths(searchPaths);
  QIcon::setThemeName(themeName);
}

TEST_F(MainWindowTest, RowsAreDrawnByTheirCommands) {
  LoadTestLog();
  const TCommandModel& model = *FWindow->Model();
  auto colour = [&](int row, int column) {
    return model.index(row, column).data(Qt::ForegroundRole).value<QBrush>().color();
  };
  auto font = [&](int row, int column) {
    return model.index(row, column).data(Qt::FontRole).value<QFont>();
  };
  const QColor red(255, 0, 0), purple(128, 0, 128);
  // Failed commands and commands without an answer: red everywhere, Error picture.
  for (int row : {4, 5}) {
    EXPECT_EQ(model.RowState(row), rsError) << row;
    for (int column = 0; column < 4; ++column) EXPECT_EQ(colour(row, column), red) << row;
    EXPECT_FALSE(model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
  }
  EXPECT_EQ(colour(0, 3), purple);
  EXPECT_FALSE(model.index(0, 2).data(Qt::ForegroundRole).isValid());
  EXPECT_TRUE(font(1, 2).bold());
  EXPECT_TRUE(font(1, 3).bold());
  EXPECT_FALSE(model.index(1, 0).data(Qt::FontRole).isValid());
  EXPECT_EQ(colour(2, 3), red);
  EXPECT_FALSE(model.index(2, 2).data(Qt::ForegroundRole).isValid());
  EXPECT_EQ(font(3, 3).family(), QStringLiteral("Courier New"));
  EXPECT_FALSE(model.index(3, 2).data(Qt::FontRole).isValid());
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(model.RowState(row), rsNone);
    EXPECT_FALSE(model.index(row, 0).data(Qt::DecorationRole).isValid());
  }
  // The three pictures differ from each other.
  const QImage play = TCommandModel::StateIcon(rsPlay).pixmap(16).toImage();
  const QImage error = TCommandModel::StateIcon(rsError).pixmap(16).toImage();
  const QImage close = TCommandModel::StateIcon(rsClose).pixmap(16).toImage();
  EXPECT_NE(play, error);
  EXPECT_NE(error, close);
  EXPECT_TRUE(TCommandModel::StateIcon(rsNone).isNull());
}

TEST_F(MainWindowTest, SelectedRowShowsItsDetails) {
  LoadTestLog();
  auto* info = Child<QPlainTextEdit>("memInfo");
  Select(4);
  const QString text = info->toPlainText();
  EXPECT_EQ(text, QString::fromStdString(FormatCommandDetails(FWindow->Commands()[4])));
  EXPECT_TRUE(text.contains(QStringLiteral("Передано     : 11 1E 00 00 00")));
  EXPECT_EQ(info->textCursor().position(), 0);
  Select(5);
  EXPECT_TRUE(info->toPlainText().contains(QStringLiteral("Принято (лог): НЕТ ОТВЕТА")));
}

TEST_F(MainWindowTest, SearchStepsThroughMatchesAndWrapsAfterTheQuestion) {
  LoadTestLog();
  auto* search = Child<QLineEdit>("edtSearch");
  search->setText(QStringLiteral("10:15:0"));  // every row matches by its time
  Select(2);
  FWindow->Search();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 3);  // the current row matches, so the search moves on
  search->setText(QStringLiteral("10:15:01"));
  FWindow->Search();
  FWindow->WaitForSearch();  // no match below row 3: asked, Cancel
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Title, QStringLiteral("Поиск завершен"));
  EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Начать с начала?"));
  EXPECT_EQ(SelectedRow(), 3);
  FAnswers = {QMessageBox::Ok};
  FWindow->Search();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 1);
  // The name of a command, in any case.
  search->setText(FWindow->Model()->index(4, 2).data().toString().toUpper());
  FWindow->Search();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);
  // Row 0 is examined after the restart.
  search->setText(QStringLiteral("10:15:00"));
  FAnswers = {QMessageBox::Ok};
  FWindow->Search();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 0);
}

TEST_F(MainWindowTest, TypedSearchTextAndEnterFindTheRowsFindErrorButtonTheFailedOnes) {
  LoadTestLog();
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  auto* search = Child<QLineEdit>("edtSearch");
  search->setFocus();
  QTest::keyClicks(search, QStringLiteral("10:15:03"));
  QTest::keyClick(search, Qt::Key_Return);
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 3);
  QTest::mouseClick(Child<QPushButton>("btnFindError"), Qt::LeftButton);
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);
  EXPECT_TRUE(FBoxes.empty());
}

TEST_F(MainWindowTest, FindErrorWrapsAfterTheQuestion) {
  LoadTestLog();
  FWindow->FindError();  // no selection: starts after row 0
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);
  FWindow->FindError();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 5);
  FWindow->FindError();
  FWindow->WaitForSearch();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Начать с начала?"));
  EXPECT_EQ(SelectedRow(), 5);
  FAnswers = {QMessageBox::Ok};
  FWindow->FindError();
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);
}

TEST_F(MainWindowTest, SavesTheListByteForByte) {
  LoadTestLog();
  const QString path = FDir.filePath(QStringLiteral("saved.txt"));
  WriteFile(QStringLiteral("saved.txt"), QByteArray(5000, 'x'));  // overwritten entirely
  ASSERT_TRUE(FWindow->SaveToFile(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray saved = file.readAll();
  const QList<QByteArray> lines = saved.split('\n');
  // Five commands with an answer (three lines each), one without (two), and the last empty.
  EXPECT_EQ(lines.size(), 5 * 3 + 2 + 1);
  EXPECT_TRUE(lines.last().isEmpty());
  // The name is written in Windows-1251.
  EXPECT_EQ(lines[0].toStdString(), "[31.12.2024 10:15:00.123] [00001234] [" +
                                        Utf8ToCp1251(FWindow->Commands()[0].CommandName()) + "]\r");
  EXPECT_NE(lines[0].toStdString().find('\xCA'), std::string::npos);  // "К" of the name
  EXPECT_EQ(lines[1].toStdString(), "[31.12.2024 10:15:00.123] [00001234] -> 10 1E 00 00 00\r");
  EXPECT_EQ(lines[2].toStdString(), "[31.12.2024 10:15:00.123] [00001234] <- 10 00 1E\r");
  EXPECT_EQ(lines[16].toStdString(), "[31.12.2024 10:15:05.123] [00001234] -> 10 1E 00 00 00\r");
  EXPECT_FALSE(saved.startsWith("\xEF\xBB\xBF"));
  EXPECT_FALSE(FWindow->SaveToFile(FDir.filePath(QStringLiteral("no/such/dir/x.txt"))));
  EXPECT_EQ(FBoxes.size(), 1u);
}

TEST_F(MainWindowTest, SettingsSurviveARestart) {
  Child<QCheckBox>("chkIngoreKKTErrors")->setChecked(true);
  Child<QCheckBox>("chkInfinitePlay")->setChecked(true);
  Child<QPlainTextEdit>("memCommandExceptions")->setPlainText(QStringLiteral("FF 0A\n11"));
  FWindow->resize(900, 700);
  FWindow->close();
  FWindow = MakeWindow();
  EXPECT_EQ(FWindow->size(), QSize(900, 700));
  EXPECT_TRUE(Child<QCheckBox>("chkIngoreKKTErrors")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>("chkInfinitePlay")->isChecked());
  EXPECT_EQ(Child<QPlainTextEdit>("memCommandExceptions")->toPlainText(),
            QStringLiteral("FF 0A\n11"));

  // A column widened by dragging its header's edge keeps its width.
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  QHeaderView* header = Child<QTableView>("lvCommands")->horizontalHeader();
  const int column = TCommandModel::colCommand;
  const int width = header->sectionSize(column);
  const QPoint edge(header->sectionViewportPosition(column) + width - 1, header->height() / 2);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
  QTest::mouseMove(header->viewport(), edge + QPoint(60, 0));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(60, 0));
  ASSERT_EQ(header->sectionSize(column), width + 60);
  FWindow->close();
  FWindow = MakeWindow();
  EXPECT_EQ(Child<QTableView>("lvCommands")->columnWidth(column), width + 60);

  QFile file(FSettingsPath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray xml = file.readAll();
  EXPECT_TRUE(xml.contains("<Configuration>"));
  EXPECT_TRUE(xml.contains("<fmMain>"));
  EXPECT_TRUE(xml.contains("<chkInfinitePlay.Checked>TRUE</chkInfinitePlay.Checked>"));
}

TEST_F(MainWindowTest, PlaysCommandsAndAsksAboutErrors) {
  LoadTestLog();
  const TCommandModel& model = *FWindow->Model();
  FAnswers = {QMessageBox::Yes};
  FWindow->StartAll();
  EXPECT_FALSE(FWindow->Finished());
  EXPECT_FALSE(Child<QWidget>("btnStart")->isEnabled());
  EXPECT_TRUE(Child<QWidget>("btnStop")->isEnabled());
  EXPECT_FALSE(FWindow->LoadLogFile(FDir.filePath(QStringLiteral("test.log"))));
  WaitForPlayback();
  EXPECT_TRUE(Child<QWidget>("btnStart")->isEnabled());
  EXPECT_FALSE(Child<QWidget>("btnStop")->isEnabled());
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Title, QStringLiteral("Ошибка"));
  EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Ошибка: 4 55, Команда не поддерживается\nПродолжить?"));
  for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(FWindow->Commands()[i].Played) << i;
  EXPECT_EQ(FWindow->Commands()[5].PlayedAnswerData(), "10 00 AA");
  // The played rows keep their pictures: Play for the good ones, Error for the failed one;
  // the last row stays marked as the current one.
  EXPECT_EQ(model.RowState(0), rsNone);
  EXPECT_EQ(model.RowState(4), rsError);
  EXPECT_EQ(model.RowState(5), rsError);
  EXPECT_EQ(Child<QLineEdit>("edtStatus")->text(),
            QStringLiteral("(6/6) ") + model.index(5, 2).data().toString());
  // After the playback the details show the played answer.
  Select(1);
  EXPECT_TRUE(Child<QPlainTextEdit>("memInfo")->toPlainText().contains(
      QStringLiteral("Принято (ККТ): 80 00 AA")));

  // Device errors pass without a question when they are to be ignored.
  Child<QCheckBox>("chkIngoreKKTErrors")->setChecked(true);
  FBoxes.clear();
  FWindow->StartFromPosition();
  WaitForPlayback();
  EXPECT_TRUE(FBoxes.empty());
  EXPECT_EQ(FWindow->Commands()[0].Played, false);  // started at the selected row 1
  EXPECT_TRUE(FWindow->Commands()[1].Played);
}

TEST_F(MainWindowTest, StoppingOnAnErrorMarksTheRow) {
  LoadTestLog();
  const TCommandModel& model = *FWindow->Model();
  FAnswers = {QMessageBox::No};
  Select(3);
  FWindow->StartFromPosition();
  WaitForPlayback();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(model.RowState(4), rsClose);
  EXPECT_FALSE(FWindow->Commands()[5].Played);
  EXPECT_FALSE(FWindow->Commands()[2].Played);
  EXPECT_EQ(Child<QLineEdit>("edtStatus")->text(),
            QStringLiteral("(5/6) ") + model.index(4, 2).data().toString() +
                QStringLiteral(": Ошибка: 55, Команда не поддерживается"));

  // Only the selected rows, and only the current one.
  auto* view = Child<QTableView>("lvCommands");
  view->clearSelection();
  for (int row : {0, 2})
    view->selectionModel()->select(model.index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  FWindow->StartSelected();
  WaitForPlayback();
  for (int row = 0; row < 6; ++row)
    EXPECT_EQ(FWindow->Commands()[row].Played.load(), row == 0 || row == 2) << row;
  Select(3);
  FWindow->StartCurrentLine();
  WaitForPlayback();
  for (int row = 0; row < 6; ++row)
    EXPECT_EQ(FWindow->Commands()[row].Played.load(), row == 3) << row;
}

TEST_F(MainWindowTest, StatusRequestRunsBesideTheWindowAndShowsModes) {
  FWindow->SetDriverFactory([] { return std::make_unique<TFakeDriver>(1500); });
  LoadTestLog();
  Select(1);
  const char* const controls[] = {"btnOpen",     "btnPasteFromClipboard",
                                  "btnSettings", "btnGetStatus",
                                  "btnStart",    "btnStartSelected"};
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(Child<QPushButton>("btnGetStatus"), Qt::LeftButton);
  EXPECT_LT(timer.elapsed(), 700);  // the device takes 1.5 s
  EXPECT_TRUE(FWindow->StatusPending());
  EXPECT_TRUE(Child<QPlainTextEdit>("memInfo")->toPlainText().isEmpty());
  for (const char* name : controls) EXPECT_FALSE(Child<QWidget>(name)->isEnabled()) << name;
  EXPECT_FALSE(FWindow->LoadLogFile(FDir.filePath(QStringLiteral("test.log"))));
  FWindow->StartAll();
  EXPECT_TRUE(FWindow->Finished());
  while (FWindow->StatusPending() && timer.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(Child<QPlainTextEdit>("memInfo")->toPlainText(),
            QStringLiteral("Запрос состояния: Успешно\nРежим   : 4, Закрытая смена\n"
                           "Подрежим: 0, Бумага есть"));
  for (const char* name : controls) EXPECT_TRUE(Child<QWidget>(name)->isEnabled()) << name;
  EXPECT_FALSE(FWindow->Commands()[0].Played);
}

TEST(DriverProperties, EditsSettingsAndRefusesBadAddress) {
  TDriverSettings settings;
  settings.Address = "tcp://10.0.0.5:7000";
  settings.AnswerTimeout = 1234;
  settings.SysAdminPassword = 77;
  settings.Protocol = 3;
  settings.TraceFile = "/tmp/trace.log";
  TDriverPropertiesDialog dialog(settings);
  EXPECT_EQ(dialog.Settings(), settings);
  // Without a way to check the connection there is no button for it.
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("btnCheck"))->isVisibleTo(&dialog));
  auto* protocol = dialog.findChild<QComboBox*>(QStringLiteral("cbProtocol"));
  auto* used = dialog.findChild<QLabel*>(QStringLiteral("lblUsedProtocol"));
  dialog.SetLogProtocol(2);
  EXPECT_FALSE(used->isVisibleTo(&dialog));  // a protocol is named
  protocol->setCurrentIndex(0);
  EXPECT_EQ(dialog.Settings().Protocol, 0);
  EXPECT_EQ(protocol->currentText(), QStringLiteral("Как в журнале"));
  EXPECT_TRUE(used->isVisibleTo(&dialog));
  EXPECT_EQ(used->text(), QStringLiteral("используется: 2"));
  dialog.SetLogProtocol(0);
  EXPECT_EQ(used->text(), QStringLiteral("используется: 1"));
  protocol->setCurrentIndex(2);
  dialog.findChild<QSpinBox*>(QStringLiteral("edtPassword"))->setValue(5);
  auto* address = dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"));
  address->setText(QStringLiteral("not an address"));
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("lblError"))->text().isEmpty());
  address->setText(QStringLiteral(" tcp://10.0.0.6:7001 "));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const TDriverSettings edited = dialog.Settings();
  EXPECT_EQ(edited.Address, "tcp://10.0.0.6:7001");
  EXPECT_EQ(edited.Password, 5);
  EXPECT_EQ(edited.AnswerTimeout, 1234);
  EXPECT_EQ(edited.SysAdminPassword, 77);
  EXPECT_EQ(edited.Protocol, 2);
  EXPECT_EQ(edited.TraceFile, "/tmp/trace.log");
}

TEST(MainSettings, ReadsWritesAndFallsBackToDefaults) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("sub/settings.xml"));
  TMainSettings defaults;
  TMainSettings missing = LoadMainSettings(path);
  EXPECT_EQ(missing.CommandExceptions, QStringList{QStringLiteral("FF 0A")});
  EXPECT_EQ(missing.SaveFileName, QStringLiteral("Log"));
  EXPECT_EQ(missing.OpenFilterIndex, 1);
  EXPECT_FALSE(missing.IgnoreKKTErrors);

  TMainSettings settings;
  settings.CommandExceptions = {QStringLiteral("FF 0A"), QStringLiteral("80"), QString()};
  settings.OpenFileName = QStringLiteral("/logs/a <b> & \"c\".log");
  settings.OpenInitialDir = QStringLiteral("/logs");
  settings.SaveInitialDir = QStringLiteral("/out");
  settings.SaveFileName = QStringLiteral("Список.txt");
  settings.SplitterTop = 321;
  settings.OpenFilterIndex = 3;
  settings.IgnoreKKTErrors = true;
  settings.Geometry = QRect(10, 20, 900, 700);
  settings.Maximized = true;
  settings.ColumnWidths = {160, 0, 245};
  ASSERT_TRUE(SaveMainSettings(settings, path));
  const TMainSettings read = LoadMainSettings(path);
  EXPECT_EQ(read.CommandExceptions, settings.CommandExceptions);
  EXPECT_EQ(read.OpenFileName, settings.OpenFileName);
  EXPECT_EQ(read.OpenInitialDir, settings.OpenInitialDir);
  EXPECT_EQ(read.SaveInitialDir, settings.SaveInitialDir);
  EXPECT_EQ(read.SaveFileName, settings.SaveFileName);
  EXPECT_EQ(read.SplitterTop, 321);
  EXPECT_EQ(read.OpenFilterIndex, 3);
  EXPECT_TRUE(read.IgnoreKKTErrors);
  EXPECT_FALSE(read.InfinitePlay);
  EXPECT_EQ(read.Geometry, settings.Geometry);
  EXPECT_TRUE(read.Maximized);
  EXPECT_EQ(read.ColumnWidths, settings.ColumnWidths);

  // A damaged file keeps every default.
  QFile damaged(path);
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write(
      "<Configuration><fmMain><chkInfinitePlay.Checked>TRUE</chkInfinitePlay.Checked>"
      "<spl1.Top>12");
  damaged.close();
  const TMainSettings broken = LoadMainSettings(path);
  EXPECT_FALSE(broken.InfinitePlay);
  EXPECT_EQ(broken.SplitterTop, defaults.SplitterTop);

  // Booleans in the other spellings; an unreadable value stays at its default.
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
  damaged.write(
      "<Configuration><fmMain><chkInfinitePlay.Checked> y </chkInfinitePlay.Checked>"
      "<chkIngoreKKTErrors.Checked>maybe</chkIngoreKKTErrors.Checked>"
      "<spl1.Top>abc</spl1.Top><lvCommands.ColumnWidths>160,x,20</lvCommands.ColumnWidths>"
      "</fmMain></Configuration>");
  damaged.close();
  const TMainSettings partial = LoadMainSettings(path);
  EXPECT_TRUE(partial.ColumnWidths.isEmpty());
  EXPECT_TRUE(partial.InfinitePlay);
  EXPECT_FALSE(partial.IgnoreKKTErrors);
  EXPECT_EQ(partial.SplitterTop, -1);

  bool value = true;
  for (const char* word : {"FALSE", "no", "N"}) {
    value = true;
    EXPECT_TRUE(ParseSettingsBool(QLatin1String(word), value));
    EXPECT_FALSE(value) << word;
  }
  for (const char* word : {"true", "YES", "y"}) {
    value = false;
    EXPECT_TRUE(ParseSettingsBool(QLatin1String(word), value));
    EXPECT_TRUE(value) << word;
  }
  value = true;
  EXPECT_FALSE(ParseSettingsBool(QStringLiteral("1"), value));
  EXPECT_TRUE(value);
}

TEST(MainSettings, PathFollowsXdgConfigHome) {
  const QByteArray old = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", "/tmp/cfg-home");
  EXPECT_EQ(SettingsFilePath(), QStringLiteral("/tmp/cfg-home/KORVANIX/Quillon/settings.xml"));
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFilePath(),
            QDir::homePath() + QStringLiteral("/.config/KORVANIX/Quillon/settings.xml"));
  qputenv("XDG_CONFIG_HOME", old);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(ScreenText, ZeroBytesEndTheirLineOnScreen) {
  using namespace std::string_literals;
  EXPECT_EQ(ScreenText("Хлеб\0\0\0 X\r\nЦена: 1"s), QString::fromUtf8("Хлеб\r\nЦена: 1"));
  EXPECT_EQ(ScreenText("plain"), QString("plain"));
  EXPECT_EQ(ScreenText("\0a\nb"s), QString("\nb"));
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// The window replays to the emulator's own register through the real driver: 80, 6B and 2F
// are unknown to it (0x37), the status commands succeed.
// An emulator with its own register only, on a free loopback port, answering at once. A
// playback speaks the protocol of the test log, 2; the status request without a log, 1.
TEmulatorOptions QuickEmulator(int protocol = 1) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.ByteTimeoutMs = 1;
  options.Protocol = protocol;
  return options;
}

// The window's driver on the emulator at port, with waits short enough for tests.
TfmMain::TDriverFactory EmulatorDriver(std::uint16_t port) {
  return [port] {
    TDriverSettings settings;
    settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
    settings.ByteTimeout = 20;
    settings.AnswerTimeout = 500;
    return std::make_unique<TDriver>(settings);
  };
}

TEST_F(MainWindowTest, PlaysToTheEmulatorAndStopsEndlessPlay) {
  TEmulator emulator(QuickEmulator(2));
  const std::uint16_t port = emulator.Start();
  FWindow->SetDriverFactory(EmulatorDriver(port));
  LoadTestLog();

  FAnswers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
  FWindow->StartAll();
  WaitForPlayback();
  EXPECT_EQ(FBoxes.size(), 3u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(FWindow->Commands()[i].Played) << i;
  EXPECT_EQ(FWindow->Commands()[1].PlayedAnswerData(), "80 37");
  EXPECT_EQ(FWindow->Commands()[4].PlayedAnswerData().substr(0, 5), "11 00");

  FBoxes.clear();
  FAnswers = {QMessageBox::No};
  FWindow->StartAll();
  WaitForPlayback();
  EXPECT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FWindow->Model()->RowState(1), rsClose);
  EXPECT_FALSE(FWindow->Commands()[2].Played);

  // Endless play, device errors passed over, stopped by the stop button.
  Child<QCheckBox>("chkInfinitePlay")->setChecked(true);
  Child<QCheckBox>("chkIngoreKKTErrors")->setChecked(true);
  FBoxes.clear();
  FWindow->StartAll();
  auto* status = Child<QLineEdit>("edtStatus");
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 20000 && !status->text().startsWith(QStringLiteral("Цикл 3")))
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("Цикл 3"))) << status->text().toStdString();
  FWindow->StopAndWait();
  EXPECT_TRUE(FWindow->Finished());
  EXPECT_TRUE(FBoxes.empty());
  emulator.Stop();
  emulator.Wait();
}

TEST(DriverProperties, ComposesTheAddress) {
  TDriverSettings settings;
  TDriverPropertiesDialog dialog(settings);
  auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("edtHost"));
  auto* portSpin = dialog.findChild<QSpinBox*>(QStringLiteral("edtPort"));
  auto* kind = dialog.findChild<QComboBox*>(QStringLiteral("cbKind"));
  auto* device = dialog.findChild<QComboBox*>(QStringLiteral("cbDevice"));
  auto* baud = dialog.findChild<QComboBox*>(QStringLiteral("cbBaud"));
  ASSERT_TRUE(host && portSpin && kind && device && baud);
  host->setText(QStringLiteral("127.0.0.1"));
  portSpin->setValue(7001);
  EXPECT_EQ(dialog.Settings().Address, "tcp://127.0.0.1:7001");

  kind->setCurrentIndex(1);
  device->setCurrentText(QStringLiteral("/dev/ttyUSB0"));
  baud->setCurrentText(QStringLiteral("9600"));
  TDeviceAddress address = TDeviceAddress::Parse(dialog.Settings().Address);
  EXPECT_EQ(address.Kind, tkSerial);
  EXPECT_EQ(address.Device, "/dev/ttyUSB0");
  EXPECT_EQ(address.BaudRate, 9600);
}

// The stop button ends an exchange the register keeps waiting, at once.
TEST_F(MainWindowTest, StopButtonEndsAnExchangeInProgress) {
  TEmulatorOptions options = QuickEmulator(2);
  options.DelayMs = 5000;
  TEmulator emulator(options);
  const std::uint16_t port = emulator.Start();
  FWindow->SetDriverFactory([port] {
    TDriverSettings settings;
    settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
    settings.AnswerTimeout = 10000;
    return std::make_unique<TDriver>(settings);
  });
  LoadTestLog();
  FWindow->StartAll();
  auto* status = Child<QLineEdit>("edtStatus");
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return status->text().startsWith(QStringLiteral("(1/6)")); }, 10000));
  QTest::qWait(300);  // well inside the register's delay
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(Child<QPushButton>("btnStop"), Qt::LeftButton);
  EXPECT_TRUE(FWindow->Finished());
  EXPECT_LT(timer.elapsed(), 1000);
  EXPECT_FALSE(FWindow->Commands()[1].Played);
  EXPECT_TRUE(FBoxes.empty());  // a stop asks nothing
  emulator.Stop();
  emulator.Wait();
}

// The dialog's connection check runs on a worker through the window's own driver: with the
// link of an earlier status request still open to an emulator that serves one client at a
// time, the check finds the register, and the window answers meanwhile. The settings
// accepted are saved; a cancelled dialog leaves them as they were.
TEST_F(MainWindowTest, PropertiesCheckTheConnectionThroughTheWindowsDriver) {
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", FDir.path().toUtf8());
  TEmulator emulator(QuickEmulator());
  const std::uint16_t port = emulator.Start();
  const std::string address = "tcp://127.0.0.1:" + std::to_string(port);
  FWindow->SetDriverFactory([address] {
    TDriverSettings settings;
    settings.Address = address;
    settings.ByteTimeout = 20;
    settings.AnswerTimeout = 500;
    return std::make_unique<TDriver>(settings);
  });
  QTest::mouseClick(Child<QPushButton>("btnGetStatus"), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !FWindow->StatusPending(); }, 10000));
  ASSERT_TRUE(Child<QPlainTextEdit>("memInfo")->toPlainText().startsWith(
      QStringLiteral("Запрос состояния: Успешно")));

  struct TSeen {
    QString During, Result;
    bool OkWhileChecking = true;
    int Protocol = -1;
  };
  // Opens the dialog, checks the connection, picks a protocol and presses a button.
  auto runDialog = [&](int protocolIndex, QDialogButtonBox::StandardButton button) {
    TSeen seen;
    QTimer::singleShot(0, FWindow.get(), [&] {
      auto* dialog = FWindow->findChild<TDriverPropertiesDialog*>();
      ASSERT_NE(dialog, nullptr);
      auto* label = dialog->findChild<QLabel*>(QStringLiteral("lblError"));
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      auto* protocol = dialog->findChild<QComboBox*>(QStringLiteral("cbProtocol"));
      seen.Protocol = protocol->currentIndex();
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btnCheck")),
                        Qt::LeftButton);
      seen.During = label->text();
      seen.OkWhileChecking = buttons->button(QDialogButtonBox::Ok)->isEnabled();
      EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->CheckPending(); }, 10000));
      seen.Result = label->text();
      protocol->setCurrentIndex(protocolIndex);
      dialog->findChild<QLineEdit*>(QStringLiteral("edtTraceFile"))
          ->setText(QStringLiteral("/tmp/quillon-trace.log"));
      QTest::mouseClick(buttons->button(button), Qt::LeftButton);
    });
    FWindow->ShowProperties();
    return seen;
  };

  TSeen first = runDialog(2, QDialogButtonBox::Ok);
  EXPECT_EQ(first.During, QStringLiteral("Проверка связи..."));
  EXPECT_FALSE(first.OkWhileChecking);
  EXPECT_TRUE(first.Result.startsWith(QStringLiteral("Связь есть: ")))
      << first.Result.toStdString();
  TDriverSettings saved;
  ASSERT_TRUE(LoadDriverSettings(DefaultDriverSettingsPath(), saved));
  EXPECT_EQ(saved.Address, address);
  EXPECT_EQ(saved.Protocol, 2);
  EXPECT_EQ(saved.TraceFile, "/tmp/quillon-trace.log");

  emulator.Stop();
  emulator.Wait();
  TSeen dead = runDialog(3, QDialogButtonBox::Cancel);
  EXPECT_EQ(dead.Protocol, 2);
  EXPECT_TRUE(dead.Result.startsWith(QStringLiteral("Ошибка: -"))) << dead.Result.toStdString();
  TSeen again = runDialog(0, QDialogButtonBox::Cancel);
  EXPECT_EQ(again.Protocol, 2);  // the cancelled choice was not kept
  qputenv("XDG_CONFIG_HOME", oldConfig);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// The answer comparison after a replay to an emulator whose log differs from the loaded one
// in two answers: row 1's data (the operator number) and row 2's result.
class ComparisonWindowTest : public MainWindowTest {
 protected:
  static std::string Log(const char* answer1, const char* answer2) {
    const char* const exchanges[][2] = {
        {"10 1E 00 00 00", "10 00 1E"},    {"11 1E 00 00 00", answer1},
        {"2F 1E 00 00 00 01 01", answer2}, {"10 1E 00 00 00", "10 00 1E"},
        {"11 1E 00 00 00", nullptr},
    };
    std::string log;
    int number = 1;
    for (const auto& exchange : exchanges) {
      log += Head(number) + "TPrinterProtocol2 -> " + Frame(exchange[0], number) + "\r\n";
      if (exchange[1])
        log += Head(number) + "TPrinterProtocol2 <- " + Frame(exchange[1], number) + "\r\n";
      ++number;
    }
    return log;
  }

  // Loads the log, replays it to the emulator's changed copy and answers the question about
  // the failed row 2 with Yes.
  void Replay() {
    const QString played = WriteFile(QStringLiteral("played.log"),
                                     QByteArray::fromStdString(Log("11 00 1D", "2F 37")));
    TEmulatorOptions options = QuickEmulator(2);
    options.LogFile = played.toStdString();
    FEmulator = std::make_unique<TEmulator>(options);
    const std::uint16_t port = FEmulator->Start();
    FWindow->SetDriverFactory(EmulatorDriver(port));
    const QString logged = WriteFile(QStringLiteral("logged.log"),
                                     QByteArray::fromStdString(Log("11 00 1E", "2F 00 1E")));
    ASSERT_TRUE(FWindow->LoadLogFile(logged));
    FWindow->WaitForLoad();
    ASSERT_EQ(FWindow->Model()->rowCount(), 5);
    FAnswers = {QMessageBox::Yes};
    FWindow->StartAll();
    WaitForPlayback();
    ASSERT_EQ(FBoxes.size(), 1u);
    for (std::size_t i = 0; i < 5; ++i) ASSERT_TRUE(FWindow->Commands()[i].Played) << i;
  }

  void TearDown() override {
    if (!FEmulator) return;
    FEmulator->Stop();
    FEmulator->Wait();
  }

  QString CompareText(int row) {
    return FWindow->Model()->index(row, TCommandModel::colCompare).data().toString();
  }

  // The command rows the list shows, through whatever model it has now.
  std::vector<int> ShownCommandRows() {
    auto* view = Child<QTableView>("lvCommands");
    std::vector<int> rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
      const QString time = view->model()->index(row, TCommandModel::colTime).data().toString();
      for (int command = 0; command < FWindow->Model()->rowCount(); ++command)
        if (FWindow->Model()->index(command, TCommandModel::colTime).data().toString() == time)
          rows.push_back(command);
    }
    return rows;
  }

  std::unique_ptr<TEmulator> FEmulator;
};

TEST_F(ComparisonWindowTest, ColumnIsHiddenUntilShownFromTheHeadersMenu) {
  LoadTestLog();
  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  auto* view = Child<QTableView>("lvCommands");
  EXPECT_EQ(FWindow->Model()->columnCount(), 7);
  EXPECT_EQ(FWindow->Model()->headerData(TCommandModel::colCompare, Qt::Horizontal).toString(),
            QStringLiteral("Сравнение"));
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colCompare));
  for (int column = 0; column < TCommandModel::colCompare; ++column)
    EXPECT_FALSE(view->isColumnHidden(column)) << column;
  // Nothing played: no verdict text, and the details are as they always were.
  EXPECT_TRUE(CompareText(0).isEmpty());
  EXPECT_EQ(FWindow->Model()
                ->index(0, TCommandModel::colCompare)
                .data(TCommandModel::kVerdictRole)
                .toInt(),
            avNotPlayed);

  // The header's own menu, opened and used with the keyboard.
  QHeaderView* header = view->horizontalHeader();
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(20, 5),
                              header->mapToGlobal(QPoint(20, 5)));
  QCoreApplication::sendEvent(header->viewport(), &menuEvent);
  auto* menu = Child<QMenu>("pmHeader");
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Return);
  EXPECT_FALSE(view->isColumnHidden(TCommandModel::colCompare));
  EXPECT_TRUE(Child<QAction>("acCompareColumn")->isChecked());
  FWindow->SetComparisonColumnVisible(false);
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colCompare));
  EXPECT_FALSE(Child<QAction>("acCompareColumn")->isChecked());

  // A window whose user added no volatile fields writes none into its settings.
  FWindow->SaveSettings();
  QFile file(FSettingsPath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_FALSE(file.readAll().contains("VolatileFields"));
}

TEST_F(ComparisonWindowTest, ReplayShowsVerdictsFieldsFilterAndReport) {
  Replay();
  const TCommandModel& model = *FWindow->Model();
  EXPECT_EQ(CompareText(0), QStringLiteral("Совпадает"));
  EXPECT_EQ(CompareText(1), QStringLiteral("Другие данные"));
  EXPECT_EQ(CompareText(2), QStringLiteral("Другой результат"));
  EXPECT_EQ(CompareText(3), QStringLiteral("Совпадает"));
  EXPECT_EQ(CompareText(4), QStringLiteral("Нет ответа в журнале"));
  // The verdict colour is none of the rows' own (red, purple).
  const QColor differs =
      model.index(1, TCommandModel::colCompare).data(Qt::ForegroundRole).value<QBrush>().color();
  for (const QColor& taken : {QColor(255, 0, 0), QColor(128, 0, 128), QColor(0, 160, 0)})
    EXPECT_NE(differs, taken);
  EXPECT_NE(
      differs,
      model.index(0, TCommandModel::colCompare).data(Qt::ForegroundRole).value<QBrush>().color());
  // The rows keep their pictures and colours.
  EXPECT_EQ(model.RowState(4), rsError);

  FWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
  auto* info = Child<QPlainTextEdit>("memInfo");
  // With the column hidden the details stay as they were.
  Select(1);
  const QString plain = info->toPlainText();
  EXPECT_TRUE(plain.contains(QStringLiteral("Принято (ККТ): 11 00 1D")));
  EXPECT_FALSE(plain.contains(QStringLiteral("Сравнение")));
  FWindow->SetComparisonColumnVisible(true);
  Select(0);
  Select(1);
  EXPECT_TRUE(info->toPlainText().startsWith(plain));
  EXPECT_TRUE(info->toPlainText().endsWith(
      QStringLiteral("\n\nСравнение ответов: Другие данные\n  OperatorNumber: 30 -> 29")))
      << info->toPlainText().toStdString();

  // One click leaves the differing rows; a click on a shown row shows its own details.
  auto* onlyDiffers = Child<QToolButton>("btnOnlyDiffers");
  QTest::mouseClick(onlyDiffers, Qt::LeftButton);
  FWindow->WaitForComparison();
  EXPECT_TRUE(FWindow->OnlyDiffering());
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{1, 2}));
  auto* view = Child<QTableView>("lvCommands");
  EXPECT_FALSE(view->isColumnHidden(TCommandModel::colCompare));  // the header's state stays
  const QRect second = view->visualRect(view->model()->index(1, TCommandModel::colCommand));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
  EXPECT_TRUE(info->toPlainText().contains(QStringLiteral("Передано     : 2F 1E 00 00 00 01 01")));
  EXPECT_TRUE(info->toPlainText().contains(QStringLiteral("Сравнение ответов: Другой результат")));
  QTest::mouseClick(onlyDiffers, Qt::LeftButton);
  EXPECT_FALSE(FWindow->OnlyDiffering());
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(SelectedRow(), 2);  // the selected command stays selected

  // The report: one JSON line per played command, as the command line writes it.
  const QString path = FDir.filePath(QStringLiteral("report.jsonl"));
  ASSERT_TRUE(FWindow->SaveComparisonReport(path));
  FWindow->WaitForComparison();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 6);
  EXPECT_TRUE(lines[5].isEmpty());
  EXPECT_TRUE(lines[0].startsWith("{\"n\":1,\"code\":16,")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains("\"verdict\":\"same\""));
  EXPECT_TRUE(lines[1].startsWith("{\"n\":2,\"code\":17,")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(
      "\"fields\":[{\"name\":\"OperatorNumber\",\"logged\":\"30\",\"played\":\"29\","
      "\"volatile\":false}]"))
      << lines[1].toStdString();
  EXPECT_TRUE(
      lines[2].contains("\"verdict\":\"result_differs\",\"result_logged\":0,"
                        "\"result_played\":55"))
      << lines[2].toStdString();
  EXPECT_TRUE(lines[4].contains("\"verdict\":\"no_logged_answer\",\"result_logged\":null"))
      << lines[4].toStdString();
  std::string expected;
  for (std::size_t i = 0; i < 5; ++i)
    AppendComparisonJson(expected, i + 1, FWindow->Commands()[i],
                         CompareAnswers(FWindow->Commands()[i], TVolatileFields()));
  QByteArray all = lines.join('\n');
  EXPECT_EQ(all.toStdString(), expected);
  EXPECT_TRUE(Child<QLineEdit>("edtStatus")->text().contains(path));

  FBoxes.clear();
  ASSERT_TRUE(FWindow->SaveComparisonReport(FDir.filePath(QStringLiteral("no/such/dir/r.jsonl"))));
  FWindow->WaitForComparison();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
}

TEST_F(ComparisonWindowTest, UsersVolatileFieldsMakeTheRowTheSameAndAreKept) {
  Replay();
  FWindow->SetOnlyDiffering(true);
  FWindow->WaitForComparison();
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{1, 2}));
  // The names through their dialog.
  QTimer::singleShot(0, FWindow.get(), [this] {
    auto* dialog = FWindow->findChild<QInputDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->setTextValue(QStringLiteral(" OperatorNumber \n\n"));
    dialog->accept();
  });
  Child<QAction>("acVolatileFields")->trigger();
  FWindow->WaitForComparison();
  EXPECT_EQ(FWindow->VolatileFieldNames(), QStringList{QStringLiteral("OperatorNumber")});
  EXPECT_EQ(CompareText(1), QStringLiteral("Совпадает"));
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{2}));
  FWindow->SetOnlyDiffering(false);
  FWindow->SetComparisonColumnVisible(true);
  Select(1);
  EXPECT_TRUE(Child<QPlainTextEdit>("memInfo")->toPlainText().endsWith(
      QStringLiteral("\n\nСравнение ответов: Совпадает\n  OperatorNumber: 30 -> 29 (изменчивое)")));

  // A new playback judges the rows afresh: the played answers are cleared first.
  FAnswers = {QMessageBox::No};
  FWindow->StartAll();
  WaitForPlayback();
  EXPECT_EQ(CompareText(2), QStringLiteral("Другой результат"));
  EXPECT_TRUE(CompareText(3).isEmpty());  // the playback stopped at row 2
  EXPECT_TRUE(CompareText(4).isEmpty());

  FWindow->close();
  EXPECT_EQ(LoadMainSettings(FSettingsPath).VolatileFields,
            QStringList{QStringLiteral("OperatorNumber")});
  FWindow = MakeWindow();
  EXPECT_EQ(FWindow->VolatileFieldNames(), QStringList{QStringLiteral("OperatorNumber")});
  EXPECT_TRUE(FWindow->Model()->VolatileFields().Contains("operatornumber"));
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// The display filter, the time columns, the search kinds and the keys, on logs built here.
class FilterWindowTest : public MainWindowTest {
 protected:
  // Command i: code 10, 11 or 2F by i % 3, failing (0x37) when i % 5 == 0, logged at
  // 10:<i / 60>:<i % 60>.123.
  static std::string BuiltLog(int count) {
    const char* const requests[] = {"10 1E 00 00 00", "11 1E 00 00 00", "2F 1E 00 00 00 01 01"};
    std::string log;
    for (int i = 0; i < count; ++i) {
      const std::string request = requests[i % 3];
      const std::string answer = request.substr(0, 2) + (i % 5 == 0 ? " 37" : " 00 1E");
      const std::string head = QStringLiteral("[31.12.2024 10:%1:%2.123] [00001234] [DEBUG] ")
                                   .arg(i / 60, 2, 10, QLatin1Char('0'))
                                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                                   .toStdString();
      log += head + "TPrinterProtocol2 -> " + Frame(request.c_str(), i % 100 + 1) + "\r\n";
      log += head + "TPrinterProtocol2 <- " + Frame(answer.c_str(), i % 100 + 1) + "\r\n";
    }
    return log;
  }

  void Load(const std::string& log, int rows) {
    const QString path = WriteFile(QStringLiteral("built.log"), QByteArray::fromStdString(log));
    ASSERT_TRUE(FWindow->LoadLogFile(path));
    FWindow->WaitForLoad();
    ASSERT_EQ(FWindow->Model()->rowCount(), rows);
  }

  void Show() {
    FWindow->show();
    FWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FWindow.get()));
  }

  // The command rows the list shows, found by their time stamps (unique in these logs).
  std::vector<int> ViewRows() {
    QHash<QString, int> rowOf;
    for (int row = 0; row < FWindow->Model()->rowCount(); ++row)
      rowOf.insert(FWindow->Model()->index(row, TCommandModel::colTime).data().toString(), row);
    QAbstractItemModel* shown = Child<QTableView>("lvCommands")->model();
    std::vector<int> rows;
    for (int row = 0; row < shown->rowCount(); ++row)
      rows.push_back(rowOf.value(shown->index(row, TCommandModel::colTime).data().toString(), -1));
    return rows;
  }

  static std::vector<int> RowsWhere(int count, const std::function<bool(int)>& keep) {
    std::vector<int> rows;
    for (int i = 0; i < count; ++i)
      if (keep(i)) rows.push_back(i);
    return rows;
  }

  int CurrentCommandRow() {
    const std::vector<int> rows = FWindow->SelectedCommandRows();
    return rows.size() == 1 ? rows.front() : -1;
  }

  static QString FilterMessage(const char* expression) {
    try {
      TCommandFilter::Parse(expression);
    } catch (const EFilterError& e) {
      return QString::fromStdString(e.what());
    }
    return {};
  }
};

TEST_F(FilterWindowTest, TypedFilterShowsTheMatchingRowsAndABadOneLeavesThem) {
  Load(BuiltLog(300), 300);
  Show();
  auto* filter = Child<QLineEdit>("edtFilter");
  auto* label = Child<QLabel>("lblFilter");
  auto* view = Child<QTableView>("lvCommands");
  EXPECT_EQ(filter->placeholderText(), QStringLiteral("Фильтр: error or code == FF46"));
  QTest::mouseClick(filter, Qt::LeftButton);
  QTest::keyClicks(filter, QStringLiteral("error and code == 11"));
  FWindow->WaitForFilter();
  const std::vector<int> failedStatus =
      RowsWhere(300, [](int i) { return i % 5 == 0 && i % 3 == 1; });
  EXPECT_EQ(ViewRows(), failedStatus);
  EXPECT_EQ(FWindow->ShownRows(), failedStatus);
  EXPECT_EQ(label->text(), QStringLiteral("Показано: 20 из 300"));
  EXPECT_TRUE(filter->styleSheet().isEmpty());
  // The rows keep their own numbers: the details of the first shown one are command 10's.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                    view->visualRect(view->model()->index(0, TCommandModel::colCommand)).center());
  EXPECT_EQ(CurrentCommandRow(), 10);

  // Half an expression: its fault beside the line, in red, and the same rows.
  filter->setFocus();
  QTest::keyClick(filter, Qt::Key_End);
  QTest::keyClicks(filter, QStringLiteral(" or"));
  EXPECT_FALSE(FWindow->FilterRunning());
  EXPECT_EQ(label->text(), FilterMessage("error and code == 11 or"));
  EXPECT_TRUE(label->text().startsWith(QStringLiteral("Фильтр")));
  EXPECT_FALSE(filter->styleSheet().isEmpty());
  EXPECT_EQ(ViewRows(), failedStatus);

  QTest::keyClicks(filter, QStringLiteral(" n <= 3"));
  FWindow->WaitForFilter();
  std::vector<int> orFirst =
      RowsWhere(300, [](int i) { return (i % 5 == 0 && i % 3 == 1) || i < 3; });
  EXPECT_EQ(ViewRows(), orFirst);
  EXPECT_TRUE(filter->styleSheet().isEmpty());

  // Emptied: every command, through the list's own model again.
  QTest::keyClick(filter, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(filter, Qt::Key_Backspace);
  EXPECT_FALSE(FWindow->FilterRunning());
  EXPECT_EQ(view->model(), FWindow->Model());
  EXPECT_EQ(ViewRows().size(), 300u);
  EXPECT_TRUE(label->text().isEmpty());

  // The last expression is kept for the next start, and picks from the next log.
  FWindow->SetFilterText(QStringLiteral("code == 2F"));
  FWindow->close();
  FWindow = MakeWindow();
  EXPECT_EQ(Child<QLineEdit>("edtFilter")->text(), QStringLiteral("code == 2F"));
  Load(BuiltLog(30), 30);
  FWindow->WaitForFilter();
  EXPECT_EQ(ViewRows(), RowsWhere(30, [](int i) { return i % 3 == 2; }));
}

// The statistics are of the shown rows, a command picked there is selected in the list,
// and loading another log closes the dialog (it reads the commands that go).
TEST_F(FilterWindowTest, StatisticsOfTheShownRowsPickAndCloseWithTheLog) {
  Load(BuiltLog(300), 300);
  FWindow->SetFilterText(QStringLiteral("code == 11"));
  FWindow->WaitForFilter();
  Show();
  auto* action = FWindow->findChild<QAction*>(QStringLiteral("acStatistics"));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("Статистика..."));
  action->trigger();
  auto* dialog = FWindow->findChild<TStatisticsDialog*>();
  ASSERT_NE(dialog, nullptr);
  QTRY_VERIFY_WITH_TIMEOUT(dialog->Ready(), 10000);
  // Rows 1, 4 ... 298: 100 status requests, every fifth of them (i % 15 == 10) failed.
  EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblTotals"))->text(),
            QStringLiteral("Команд: 100, с ошибкой: 20, без ответа: 0"));
  emit dialog->CommandPicked(13);
  EXPECT_EQ(CurrentCommandRow(), 13);

  QPointer<TStatisticsDialog> open = dialog;
  Load(BuiltLog(30), 30);
  EXPECT_TRUE(open.isNull());
}

TEST_F(FilterWindowTest, SearchAndErrorSearchWalkOnlyTheShownRows) {
  Load(BuiltLog(300), 300);
  FWindow->SetFilterText(QStringLiteral("code == 11"));
  FWindow->WaitForFilter();
  ASSERT_EQ(FWindow->ShownRows(), RowsWhere(300, [](int i) { return i % 3 == 1; }));
  Show();
  struct TStep {
    std::function<void()> Act;
    int Expected;  // the command row selected after it
  };
  auto search = [this](const char* text, bool backward) {
    return [this, text, backward] {
      Child<QLineEdit>("edtSearch")->setText(QString::fromUtf8(text));
      QTest::mouseClick(Child<QWidget>(backward ? "btnSearchBack" : "btnSearch"), Qt::LeftButton);
    };
  };
  auto error = [this](bool backward) {
    return [this, backward] { backward ? FWindow->FindPreviousError() : FWindow->FindError(); };
  };
  // Failed commands: every fifth; shown failed ones: 10, 25, 40 ...
  const TStep steps[] = {
      {error(false), 10},
      {error(false), 25},
      {error(true), 10},
      {search("10:01:", false), 61},  // the first shown one of the second minute
      {search("10:00:", true), 58},   // back to the last shown one before it
      {search("10:00:01", true), 1},
  };
  ASSERT_TRUE(FWindow->SelectCommandRow(4));
  EXPECT_FALSE(FWindow->SelectCommandRow(5));  // hidden
  for (const TStep& step : steps) {
    step.Act();
    FWindow->WaitForSearch();
    EXPECT_EQ(CurrentCommandRow(), step.Expected);
  }
  EXPECT_TRUE(FBoxes.empty());
  // Past the last shown match the question comes; agreed, the walk begins at the top of the
  // shown rows.
  ASSERT_TRUE(FWindow->SelectCommandRow(298));
  FAnswers = {QMessageBox::Ok};
  search("10:00:0", false)();
  FWindow->WaitForSearch();
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Начать с начала?"));
  EXPECT_EQ(CurrentCommandRow(), 1);
}

TEST_F(FilterWindowTest, SearchKindsDirectionsAndAnEmptyText) {
  LoadTestLog();
  Show();
  auto* search = Child<QLineEdit>("edtSearch");
  struct TCase {
    const char* Text;
    int Current;
    bool Backward;
    std::deque<QMessageBox::StandardButton> Answers;
    int Expected;
    const char* Box;  // the text of the one box shown, a part of it
  };
  const TCase cases[] = {
      {"hex: 11 1E", 0, false, {}, 4, nullptr},     // a request
      {"hex: 6b 00 01", 0, false, {}, 2, nullptr},  // an answer
      {"hex: 00 01 01", 2, false, {}, 3, nullptr},
      {"re: ^11,", 0, false, {}, 4, nullptr},            // the name
      {"re: 10:15:0[35]\\.", 0, false, {}, 3, nullptr},  // the time
      {"10:15", 3, true, {}, 2, nullptr},
      {"re: ^10,", 5, true, {}, 0, nullptr},
      {"hex: 10 1E", 0, true, {QMessageBox::Ok}, 5, "Начать с конца?"},
      {"hex: 10 1E", 0, true, {QMessageBox::Cancel}, 0, "Начать с конца?"},
      {"", 2, false, {}, 2, nullptr},  // nothing: no question, no move
      {"", 2, true, {}, 2, nullptr},
      {"re: (", 2, false, {}, 2, "регулярном выражении"},
      {"hex: 1X", 2, false, {}, 2, "шестнадцатеричном"},
  };
  for (const TCase& c : cases) {
    Select(c.Current);
    FBoxes.clear();
    FAnswers = c.Answers;
    search->setText(QString::fromUtf8(c.Text));
    if (c.Backward) {
      QTest::mouseClick(Child<QWidget>("btnSearchBack"), Qt::LeftButton);
    } else {
      search->setFocus();
      QTest::keyClick(search, Qt::Key_Return);
    }
    FWindow->WaitForSearch();
    EXPECT_EQ(SelectedRow(), c.Expected) << c.Text;
    ASSERT_EQ(FBoxes.size(), c.Box ? 1u : 0u) << c.Text;
    if (c.Box) {
      EXPECT_TRUE(FBoxes[0].Text.contains(QString::fromUtf8(c.Box))) << c.Text;
    }
  }
}

// The window's keys, sent to the list as the user presses them.
TEST_F(FilterWindowTest, EachKeyTriggersItsAction) {
  LoadTestLog();
  Show();
  auto* view = Child<QTableView>("lvCommands");
  // The file dialogs the keys open are closed at once.
  auto closeDialogs = [this] {
    QTimer::singleShot(0, FWindow.get(), [this] {
      for (auto* dialog : FWindow->findChildren<QFileDialog*>())
        if (dialog->isVisible()) dialog->reject();
    });
  };
  struct TKey {
    int Key;
    Qt::KeyboardModifiers Modifiers;
    const char* Action;
    const char* Focus;  // the control that has the focus after it, if it moves
  };
  const TKey keys[] = {
      {Qt::Key_O, Qt::ControlModifier, "acOpen", nullptr},
      {Qt::Key_F, Qt::ControlModifier, "acFocusSearch", "edtSearch"},
      {Qt::Key_L, Qt::ControlModifier, "acFocusFilter", "edtFilter"},
      {Qt::Key_F3, Qt::NoModifier, "acFindNext", nullptr},
      {Qt::Key_F3, Qt::ShiftModifier, "acFindPrevious", nullptr},
      {Qt::Key_E, Qt::ControlModifier, "acNextError", nullptr},
      {Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier, "acPreviousError", nullptr},
      {Qt::Key_S, Qt::ControlModifier, "N2", nullptr},
      {Qt::Key_C, Qt::ControlModifier, "acCopy", nullptr},
      {Qt::Key_F5, Qt::NoModifier, "acStart", nullptr},
      {Qt::Key_Escape, Qt::NoModifier, "acStop", nullptr},
  };
  for (const TKey& key : keys) {
    auto* action = Child<QAction>(key.Action);
    QSignalSpy triggered(action, &QAction::triggered);
    closeDialogs();
    // The offscreen platform leaves a closed dialog the active window: back to the window.
    QApplication::setActiveWindow(FWindow.get());
    view->setFocus();
    QTest::keyClick(view, static_cast<Qt::Key>(key.Key), key.Modifiers);
    EXPECT_EQ(triggered.count(), 1) << key.Action;
    if (key.Focus) {
      EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(key.Focus)) << key.Action;
    }
    FWindow->WaitForSearch();
    WaitForPlayback();
  }
  // The keys are named in the menus and the tool tips.
  EXPECT_EQ(Child<QAction>("acFindNext")->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_TRUE(Child<QMenu>("pmMain")->actions().contains(Child<QAction>("acFindNext")));
  EXPECT_TRUE(Child<QWidget>("btnStart")->toolTip().contains(QStringLiteral("F5")));
  EXPECT_TRUE(Child<QWidget>("btnFindError")->toolTip().contains(QStringLiteral("Ctrl+E")));

  // What they do: the errors ahead and back, a start, and Esc stopping an endless play.
  Select(0);
  QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);
  QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
  FWindow->WaitForSearch();
  EXPECT_EQ(SelectedRow(), 4);  // none before: asked, and declined
  EXPECT_EQ(FBoxes.back().Text, QStringLiteral("Начать с конца?"));
  Child<QCheckBox>("chkInfinitePlay")->setChecked(true);
  Child<QCheckBox>("chkIngoreKKTErrors")->setChecked(true);
  QTest::keyClick(view, Qt::Key_F5);
  EXPECT_FALSE(FWindow->Finished());
  auto* status = Child<QLineEdit>("edtStatus");
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return status->text().startsWith(QStringLiteral("Цикл 2")); }, 10000));
  QTest::keyClick(view, Qt::Key_Escape);
  EXPECT_TRUE(FWindow->Finished());
}

TEST_F(FilterWindowTest, CopiesTheSelectedRowsAsSavedAndTheirHex) {
  LoadTestLog();
  Show();
  FWindow->SetFilterText(QStringLiteral("code in {10, 11}"));
  FWindow->WaitForFilter();
  ASSERT_EQ(FWindow->ShownRows(), (std::vector<int>{0, 4, 5}));
  auto* view = Child<QTableView>("lvCommands");
  view->setFocus();
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);  // every shown row
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  // As the saved list has them, in the window's text.
  const QString copied = QGuiApplication::clipboard()->text();
  std::string saved;
  for (int row : {0, 4, 5}) AppendSavedCommand(saved, FWindow->Commands()[row]);
  EXPECT_EQ(copied, QString::fromStdString(Cp1251ToUtf8(saved)));
  EXPECT_TRUE(copied.startsWith(QStringLiteral("[31.12.2024 10:15:00.123] [00001234] [") +
                                QString::fromStdString(FWindow->Commands()[0].CommandName()) +
                                QStringLiteral("]\r\n")));
  EXPECT_EQ(copied.count(QStringLiteral("\r\n")), 3 + 3 + 2);

  auto* copyHex = Child<QAction>("acCopyHex");
  EXPECT_TRUE(Child<QMenu>("pmMain")->actions().contains(copyHex));
  EXPECT_EQ(copyHex->text(), QStringLiteral("Копировать запрос и ответ (hex)"));
  copyHex->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QStringLiteral("-> 10 1E 00 00 00\n<- 10 00 1E\n-> 11 1E 00 00 00\n<- 11 37\n"
                           "-> 10 1E 00 00 00\n"));
}

TEST_F(FilterWindowTest, TimeColumnsShowTheGapsAndResponsesAndAreKept) {
  // Request and answer stamps of each command; the last one has no answer.
  const char* const stamps[][2] = {
      {"10:15:00.100", "10:15:00.350"},
      {"10:15:01.000", "10:15:01.020"},
      {"10:15:01.500", nullptr},
  };
  std::string log;
  int number = 1;
  for (const auto& stamp : stamps) {
    const std::string head = std::string("[31.12.2024 ") + stamp[0] + "] [00001234] [DEBUG] ";
    log += head + "TPrinterProtocol2 -> " + Frame("10 1E 00 00 00", number) + "\r\n";
    if (stamp[1])
      log += std::string("[31.12.2024 ") + stamp[1] + "] [00001234] [DEBUG] TPrinterProtocol2 <- " +
             Frame("10 00 1E", number) + "\r\n";
    ++number;
  }
  Load(log, 3);
  Show();
  auto* view = Child<QTableView>("lvCommands");
  const TCommandModel& model = *FWindow->Model();
  EXPECT_EQ(model.headerData(TCommandModel::colDelta, Qt::Horizontal).toString(),
            QStringLiteral("Δ, мс"));
  EXPECT_EQ(model.headerData(TCommandModel::colResponse, Qt::Horizontal).toString(),
            QStringLiteral("Ответ, мс"));
  const QStringList deltas{QString(), QStringLiteral("900"), QStringLiteral("500")};
  const QStringList responses{QStringLiteral("250"), QStringLiteral("20"), QString()};
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(model.index(row, TCommandModel::colDelta).data().toString(), deltas[row]) << row;
    EXPECT_EQ(model.index(row, TCommandModel::colResponse).data().toString(), responses[row])
        << row;
    EXPECT_EQ(model.index(row, TCommandModel::colResponse).data(Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
  }
  for (int column : {TCommandModel::colDelta, TCommandModel::colResponse})
    EXPECT_TRUE(view->isColumnHidden(column)) << column;

  // The header's menu: its second item shows "Δ, мс", the third "Ответ, мс".
  auto openHeaderMenu = [&] {
    QHeaderView* header = view->horizontalHeader();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(20, 5),
                                header->mapToGlobal(QPoint(20, 5)));
    QCoreApplication::sendEvent(header->viewport(), &menuEvent);
    auto* menu = Child<QMenu>("pmHeader");
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    return menu;
  };
  QMenu* menu = openHeaderMenu();
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Return);
  EXPECT_FALSE(view->isColumnHidden(TCommandModel::colDelta));
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colResponse));
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colCompare));
  for (int column = 0; column <= TCommandModel::colData; ++column)
    EXPECT_EQ(view->horizontalHeader()->visualIndex(column), column);

  FWindow->close();
  EXPECT_TRUE(LoadMainSettings(FSettingsPath).DeltaColumn);
  EXPECT_FALSE(LoadMainSettings(FSettingsPath).ResponseColumn);
  FWindow = MakeWindow();
  view = Child<QTableView>("lvCommands");
  EXPECT_FALSE(view->isColumnHidden(TCommandModel::colDelta));
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colResponse));
  EXPECT_TRUE(Child<QAction>("acDeltaColumn")->isChecked());
  Show();
  menu = openHeaderMenu();
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Return);
  EXPECT_TRUE(view->isColumnHidden(TCommandModel::colDelta));
  FWindow->close();
  EXPECT_FALSE(LoadMainSettings(FSettingsPath).DeltaColumn);
}

// "Выделенное" plays the selected rows the filter shows, to the emulator.
TEST_F(FilterWindowTest, SelectedReplayPlaysTheSelectedShownRows) {
  TEmulator emulator(QuickEmulator(2));
  const std::uint16_t port = emulator.Start();
  FWindow->SetDriverFactory(EmulatorDriver(port));
  Load(BuiltLog(12), 12);
  Show();
  FWindow->SetFilterText(QStringLiteral("code == 10 or code == 11"));
  FWindow->WaitForFilter();
  ASSERT_EQ(FWindow->ShownRows(), (std::vector<int>{0, 1, 3, 4, 6, 7, 9, 10}));
  auto* view = Child<QTableView>("lvCommands");
  auto click = [&](int shownRow, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(
        view->viewport(), Qt::LeftButton, modifiers,
        view->visualRect(view->model()->index(shownRow, TCommandModel::colCommand)).center());
  };
  click(1, Qt::NoModifier);       // command 1
  click(3, Qt::ShiftModifier);    // to command 4: 1, 3, 4
  click(6, Qt::ControlModifier);  // and command 9
  ASSERT_EQ(FWindow->SelectedCommandRows(), (std::vector<int>{1, 3, 4, 9}));
  FAnswers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
  QTest::mouseClick(Child<QPushButton>("btnStartSelected"), Qt::LeftButton);
  WaitForPlayback();
  std::vector<int> played;
  for (int row = 0; row < 12; ++row)
    if (FWindow->Commands()[row].Played) played.push_back(row);
  EXPECT_EQ(played, (std::vector<int>{1, 3, 4, 9}));
  emulator.Stop();
  emulator.Wait();
}

TEST_F(ComparisonWindowTest, DisplayFilterAndOnlyDifferingShowTheRowsPassingBoth) {
  Replay();
  FWindow->SetFilterText(QStringLiteral("code == 11"));
  FWindow->WaitForFilter();
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{1, 4}));
  FWindow->SetOnlyDiffering(true);
  FWindow->WaitForComparison();
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{1}));
  EXPECT_EQ(FWindow->ShownRows(), (std::vector<int>{1}));
  FWindow->SetFilterText(QString());
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{1, 2}));
  FWindow->SetFilterText(QStringLiteral("code == 2F"));
  FWindow->WaitForFilter();
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{2}));
  FWindow->SetOnlyDiffering(false);
  EXPECT_EQ(ShownCommandRows(), (std::vector<int>{2}));
}

}  // namespace
}  // namespace quillon
