// The window's bytes pane beside the details, clicked the way the user clicks it, the
// encoding log files are read in, and following a log that grows; on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestLogs.h"
#include "core/CodePages.h"
#include "player/FakeDriver.h"
#include "ui/BytesPane.h"
#include "ui/CommandModel.h"
#include "ui/EncodingButton.h"
#include "ui/fmuMain.h"

namespace quillon {
namespace {

using test::kTlvDocument;
using test::Protocol2Log;

class LogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FWindow = MakeWindow();
  }

  std::unique_ptr<TfmMain> MakeWindow() {
    auto window = std::make_unique<TfmMain>(nullptr, FDir.filePath(QStringLiteral("settings.xml")));
    window->SetMessageBox([](QMessageBox::Icon, const QString&, const QString&,
                             QMessageBox::StandardButtons) { return QMessageBox::Ok; });
    window->resize(1000, 900);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }

  QString Write(const std::string& log, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    const QString path = FDir.filePath(QStringLiteral("window.log"));
    QFile file(path);
    EXPECT_TRUE(file.open(mode));
    file.write(QByteArray::fromStdString(log));
    return path;
  }

  void Load(const std::string& log) {
    ASSERT_TRUE(FWindow->LoadLogFile(Write(log)));
    FWindow->WaitForLoad();
  }

  // Processes events until done() or 10 seconds have passed.
  static bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
  }

  int Rows() { return FWindow->Model()->rowCount(); }

  void Follow() {
    QTest::mouseClick(Child<QCheckBox>("chkFollow"), Qt::LeftButton);
    ASSERT_TRUE(FWindow->Following());
  }

  void Append(const test::TExchanges& exchanges, int first) {
    Write(Protocol2Log(exchanges, "00001234", first), QIODevice::Append);
  }

  QString Thread(int row) {
    return FWindow->Model()->index(row, TCommandModel::colThread).data().toString();
  }

  template <class T>
  T* Child(const char* name) {
    T* child = FWindow->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  // Clicks the details line that contains `text`, a few characters into it.
  void ClickDetailsLine(const QString& text) {
    auto* info = Child<QPlainTextEdit>("memInfo");
    QTextBlock block = info->document()->firstBlock();
    while (block.isValid() && !block.text().contains(text)) block = block.next();
    ASSERT_TRUE(block.isValid()) << text.toStdString();
    info->verticalScrollBar()->setValue(block.blockNumber());
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + 3);
    QTest::mouseClick(info->viewport(), Qt::LeftButton, {}, info->cursorRect(cursor).center());
  }

  void ClickByte(TBytesSide side, std::size_t offset, bool character = false) {
    auto* bytes = Child<TBytesPane>("memBytes");
    const QRect rect = bytes->ByteRect(side, offset, character);
    ASSERT_FALSE(rect.isEmpty());
    QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, rect.center());
  }

  // The highlighted hex and characters of the bytes pane.
  QStringList HighlightedTexts() {
    QStringList texts;
    for (const QTextEdit::ExtraSelection& selection :
         Child<TBytesPane>("memBytes")->extraSelections())
      texts << selection.cursor.selectedText();
    return texts;
  }

  // The format of the character at a column of a line of the bytes pane.
  QTextCharFormat BytesFormat(TBytesSide side, std::size_t offset) {
    auto* bytes = Child<TBytesPane>("memBytes");
    const TBytePosition at = bytes->Dump().Position(side, offset);
    QTextCursor cursor(bytes->document()->findBlockByNumber(at.Line));
    cursor.setPosition(cursor.block().position() + at.HexColumn + 1);
    return cursor.charFormat();
  }

  QTemporaryDir FDir;
  std::unique_ptr<TfmMain> FWindow;
};

TEST_F(LogWindowTest, ClickedLinesHighlightTheirBytesAndClickedBytesSelectTheirLines) {
  Load(Protocol2Log(
      {{kTlvDocument, "FF 0C 00"}, {"80 1E 00 00 00 10 27 00 00 00 E8 03", "80 00 1E"}}));
  ASSERT_EQ(FWindow->Commands().Count(), 2u);
  auto* info = Child<QPlainTextEdit>("memInfo");
  auto* bytes = Child<TBytesPane>("memBytes");
  ASSERT_TRUE(FWindow->SelectCommandRow(0));
  EXPECT_TRUE(bytes->toPlainText().startsWith(
      QStringLiteral("Передано, байт: 39\n0000  FF 0C 1E 00 00 00 FD 03  04 00 49 76 61 6E 23 04  "
                     "я.....э...Ivan#.")));

  ClickDetailsLine(QStringLiteral("1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB"));
  ASSERT_NE(bytes->Highlighted(), nullptr);
  EXPECT_EQ(bytes->Highlighted()->Name, "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА");
  EXPECT_EQ(HighlightedTexts(),
            QStringList({QStringLiteral("06 04 02 00 41 42"), QStringLiteral("....AB")}));
  ClickDetailsLine(QStringLiteral("Входные параметры:"));
  EXPECT_EQ(bytes->Highlighted(), nullptr);
  EXPECT_TRUE(HighlightedTexts().isEmpty());

  // The innermost value of a byte: its line is selected in the details.
  ClickByte(bsRequest, 3);
  EXPECT_EQ(info->textCursor().selectedText(), QStringLiteral("Password: 30"));
  EXPECT_EQ(HighlightedTexts(),
            QStringList({QStringLiteral("1E 00 00 00"), QStringLiteral("....")}));
  ClickByte(bsRequest, 33, true);  // 'P' of the agent's operation
  EXPECT_TRUE(
      info->textCursor().selectedText().endsWith(QStringLiteral("1044,ОПЕРАЦИЯ ПЛАТ. АГЕНТА:OP")))
      << info->textCursor().selectedText().toStdString();
  ClickByte(bsAnswer, 2);
  EXPECT_EQ(bytes->Highlighted(), nullptr);  // the result byte is no field's
  EXPECT_TRUE(HighlightedTexts().isEmpty());

  // The code and the result byte are grey; the sale's price ran past the end: red.
  EXPECT_EQ(BytesFormat(bsRequest, 0).foreground().color(), QColor(0x90, 0x90, 0x90));
  EXPECT_EQ(BytesFormat(bsRequest, 2).foreground().style(), Qt::NoBrush);
  ASSERT_TRUE(FWindow->SelectCommandRow(1));
  EXPECT_EQ(bytes->Highlighted(), nullptr);
  EXPECT_EQ(BytesFormat(bsAnswer, 1).foreground().color(), QColor(0x90, 0x90, 0x90));
  EXPECT_EQ(BytesFormat(bsRequest, 10).foreground().color(), QColor(0xC0, 0x00, 0x00));
  EXPECT_EQ(BytesFormat(bsRequest, 9).foreground().style(), Qt::NoBrush)
      << BytesFormat(bsRequest, 9).foreground().color().name().toStdString();
  EXPECT_TRUE(bytes->toPlainText().contains(QStringLiteral("Не хватило байтов для полей: Price")));

  // A status reply in the details takes the bytes away.
  info->setPlainText(QStringLiteral("Запрос состояния: Успешно"));
  EXPECT_TRUE(bytes->toPlainText().isEmpty());
  ClickDetailsLine(QStringLiteral("Успешно"));
  EXPECT_EQ(bytes->Highlighted(), nullptr);
}

TEST_F(LogWindowTest, TheSplitterBetweenDetailsAndBytesIsKept) {
  auto* splitter = Child<QSplitter>("splDetails");
  ASSERT_EQ(splitter->count(), 2);
  EXPECT_EQ(splitter->widget(0), Child<QPlainTextEdit>("memInfo"));
  const int total = splitter->sizes().at(0) + splitter->sizes().at(1);
  splitter->setSizes({300, total - 300});
  FWindow->close();
  FWindow = MakeWindow();
  EXPECT_EQ(Child<QSplitter>("splDetails")->sizes().at(0), 300);
}

TEST_F(LogWindowTest, EachEncodingReadsItsFileAgainAndTheChoiceIsKept) {
  // A thread named "Ккм" in the file's encoding, short enough to stay within the attributes.
  const std::string utf8 = "Ккм", cp1251 = Utf8ToCp1251(utf8), cp866 = "\x8A\xAA\xAC";
  struct TCase {
    TLogEncoding Choice;
    std::string Thread;  // the file's bytes
    const char* Shown;
  };
  const TCase cases[] = {
      {TLogEncoding::Windows1251, cp1251, "Ккм"},  {TLogEncoding::Utf8, utf8, "Ккм"},
      {TLogEncoding::Cp866, cp866, "Ккм"},         {TLogEncoding::Auto, utf8, "Ккм"},
      {TLogEncoding::Windows1251, utf8, "РљРєРј"},
  };
  auto* button = Child<TEncodingButton>("btnEncoding");
  for (const TCase& c : cases) {
    SCOPED_TRACE(LogEncodingName(c.Choice).CliName);
    Load(Protocol2Log({{"10 1E 00 00 00", "10 00 1E"}}, c.Thread));
    // Picked in the menu: the file is read again in it.
    button->Action(c.Choice)->trigger();
    EXPECT_TRUE(FWindow->Loading());
    FWindow->WaitForLoad();
    EXPECT_EQ(Thread(0), QString::fromStdString(c.Shown));
    EXPECT_TRUE(button->Action(c.Choice)->isChecked());
  }
  FWindow->close();
  FWindow = MakeWindow();
  EXPECT_EQ(FWindow->LogEncoding(), TLogEncoding::Windows1251);
  EXPECT_TRUE(
      Child<TEncodingButton>("btnEncoding")->Action(TLogEncoding::Windows1251)->isChecked());
  Load(Protocol2Log({{"10 1E 00 00 00", "10 00 1E"}}, cp1251));
  EXPECT_EQ(Thread(0), QStringLiteral("Ккм"));
}

const std::pair<std::string, std::string> kStatus = {"10 1E 00 00 00", "10 00 1E"};
const std::pair<std::string, std::string> kLine = {"2F 1E 00 00 00 01 01", "2F 00 1E"};

TEST_F(LogWindowTest, AFollowedFileAddsItsCommandsBesideTheSelectionAndIsReadAgainWhenCut) {
  Load(Protocol2Log({kStatus, kStatus, kStatus}));
  Follow();
  ASSERT_TRUE(FWindow->SelectCommandRow(1));
  // A command, and a request whose answer the driver has not written yet.
  Append({kLine, {"11 1E 00 00 00", ""}}, 4);
  ASSERT_TRUE(WaitFor([&] { return Rows() == 5; }));
  EXPECT_EQ(FWindow->SelectedCommandRows(), std::vector<int>{1});
  EXPECT_TRUE(FWindow->Commands()[4].AnswerData().empty());
  Append({{"", "11 00 1E"}}, 5);  // its answer comes to its row
  ASSERT_TRUE(WaitFor([&] { return !FWindow->Commands()[4].AnswerData().empty(); }));
  EXPECT_EQ(Rows(), 5);
  EXPECT_EQ(FWindow->SelectedCommandRows(), std::vector<int>{1});

  // With the display filter on, the new rows that pass it are shown.
  FWindow->SetFilterText(QStringLiteral("code == 2F"));
  FWindow->WaitForFilter();
  ASSERT_EQ(FWindow->ShownRows(), std::vector<int>{3});
  Append({kLine, kStatus, kLine}, 6);
  ASSERT_TRUE(WaitFor([&] { return Rows() == 8; }));
  EXPECT_EQ(FWindow->ShownRows(), (std::vector<int>{3, 5, 7}));
  EXPECT_EQ(Child<QLabel>("lblFilter")->text(), QStringLiteral("Показано: 3 из 8"));

  // Cut short: read again, and said so.
  Write(Protocol2Log({kStatus, kLine}), QIODevice::WriteOnly | QIODevice::Truncate);
  ASSERT_TRUE(WaitFor([&] { return Rows() == 2 && !FWindow->Loading(); }));
  EXPECT_EQ(Child<QLineEdit>("edtStatus")->text(),
            QStringLiteral("  Файл журнала усечён или заменён, загружен заново"));
  EXPECT_EQ(FWindow->ShownRows(), std::vector<int>{1});
  Append({kLine}, 3);  // and followed on
  ASSERT_TRUE(WaitFor([&] { return Rows() == 3; }));
}

TEST_F(LogWindowTest, TheListGoesOnToTheEndOnlyFromTheEndAndWaitsForAPlayback) {
  Load(Protocol2Log(test::TExchanges(60, kStatus)));
  Follow();
  auto* list = Child<QTableView>("lvCommands");
  QScrollBar* scroll = list->verticalScrollBar();
  ASSERT_GT(scroll->maximum(), 0);
  scroll->setValue(0);
  Append({kLine, kLine}, 61);
  ASSERT_TRUE(WaitFor([&] { return Rows() == 62; }));
  EXPECT_EQ(scroll->value(), 0);
  list->scrollToBottom();
  Append({kLine, kLine}, 63);
  ASSERT_TRUE(WaitFor([&] { return Rows() == 64; }));
  EXPECT_EQ(scroll->value(), scroll->maximum());

  // The player goes through the list: the new commands wait until it ends.
  FWindow->SetDriverFactory([] {
    auto driver = std::make_unique<test::TFakeDriver>();
    test::TExchange held;
    held.UntilAborted = true;
    driver->Script.push_back(held);
    return driver;
  });
  FWindow->StartAll();
  ASSERT_FALSE(FWindow->Finished());
  Append({kStatus}, 65);
  auto* note = Child<QLabel>("lblFollow");
  ASSERT_TRUE(WaitFor([&] { return note->isVisible(); }));
  EXPECT_EQ(note->text(), QStringLiteral("Новые команды будут добавлены после воспроизведения"));
  EXPECT_EQ(Rows(), 64);
  FWindow->StopAndWait();
  ASSERT_TRUE(WaitFor([&] { return Rows() == 65; }));
  EXPECT_FALSE(note->isVisible());
}

}  // namespace
}  // namespace quillon
