// The window's bytes pane beside the details, clicked the way the user clicks it, the
// encoding log files are read in, and following a log that grows; on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <memory>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/KorvanProtocol2.h"
#include "ui/BytesPane.h"
#include "ui/CommandModel.h"
#include "ui/EncodingButton.h"
#include "ui/fmuMain.h"

namespace quillon {
namespace {

// A protocol 2 log of the request and answer pairs, one second apart, of one thread.
std::string Protocol2Log(const std::vector<std::pair<std::string, std::string>>& exchanges,
                         const std::string& thread = "00001234") {
  std::string log;
  int number = 0;
  for (const auto& [request, answer] : exchanges) {
    ++number;
    const std::string head =
        "[31.12.2024 10:15:0" + std::to_string(number % 10) + ".123] [" + thread + "] [DEBUG] ";
    for (const auto& [arrow, payload] : {std::pair("-> ", &request), std::pair("<- ", &answer)}) {
      TKorvanFrame2 frame;
      frame.Data = HexToBytes(*payload);
      frame.Number = number;
      log += head + "TPrinterProtocol2 " + arrow + BytesToHex(TKorvanProtocol2::Encode(frame)) +
             "\r\n";
    }
  }
  return log;
}

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

// A cashier "Ivan"; an item (1059) holding its name "AB" and agent data (1223) with the
// agent's operation "OP"; an unknown tag. The TLV block starts at byte 6.
const char* const kTlvDocument =
    "FF 0C 1E 00 00 00 FD 03 04 00 49 76 61 6E 23 04 10 00 06 04 02 00 41 42 C7 04 06 00 14 "
    "04 02 00 4F 50 60 EA 01 00 07";

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
  ClickDetailsLine(QStringLiteral("Password: 30"));
  EXPECT_EQ(HighlightedTexts(),
            QStringList({QStringLiteral("1E 00 00 00"), QStringLiteral("....")}));
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

}  // namespace
}  // namespace quillon
