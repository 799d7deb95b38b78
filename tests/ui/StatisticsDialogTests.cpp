// Widget tests of the statistics dialog on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QValueAxis>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/DateUtils.h"
#include "ui/StatisticsDialog.h"

namespace quillon {
namespace {

// 31.12.2024 10:15:00.000 in milliseconds since 1899-12-30.
std::int64_t BaseTime() {
  return *ParseLogTimeStamp("31.12.2024 10:15:00.000");
}

// Command index of a list whose requests are a second apart: code, answered with resCode
// after delayMs, or left without an answer.
TCommandRec Exchange(int index, int code, int resCode, std::optional<int> delayMs) {
  TCommandRec rec;
  rec.Code = code;
  rec.Protocol = pProtocol2;
  rec.LineNumber = 2 * index + 1;
  rec.TxData = IntToHex(static_cast<std::uint64_t>(code), 2) + " 1E 00 00 00";
  const std::int64_t request = BaseTime() + 1000LL * index;
  rec.Attributes = "[";
  AppendLogTimeStamp(rec.Attributes, request);
  rec.Attributes += "] [00001234]";
  if (delayMs) {
    rec.ResCode = resCode;
    rec.AnswerData = IntToHex(static_cast<std::uint64_t>(code), 2) + " " +
                     IntToHex(static_cast<std::uint64_t>(resCode), 2);
    rec.AnswerTimeMs = request + *delayMs;
  }
  return rec;
}

// 0 status 40 ms, 1 status request 100 ms, 2 status 20 ms, 3 status failing after 300 ms,
// 4 status request without an answer, 5 status 60 ms, 6 sale 500 ms, 7 status 10 ms (left
// out of the counted rows), 8 code 2F without an answer.
void FillSmallList(TCommandList& list) {
  list.Add(Exchange(0, 0x10, 0, 40));
  list.Add(Exchange(1, 0x11, 0, 100));
  list.Add(Exchange(2, 0x10, 0, 20));
  list.Add(Exchange(3, 0x10, 0x33, 300));
  list.Add(Exchange(4, 0x11, 0, std::nullopt));
  list.Add(Exchange(5, 0x10, 0, 60));
  list.Add(Exchange(6, 0x80, 0, 500));
  list.Add(Exchange(7, 0x10, 0, 10));
  list.Add(Exchange(8, 0x2F, 0, std::nullopt));
}

const std::vector<int> kCountedRows = {0, 1, 2, 3, 4, 5, 6, 8};

class StatisticsDialogTest : public ::testing::Test {
 protected:
  void Open(std::vector<int> rows) {
    FDialog = std::make_unique<TStatisticsDialog>(FList, std::move(rows));
    FDialog->show();
  }

  void WaitUntilReady() {
    while (!FDialog->Ready()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }

  template <class T>
  T* Child(const char* name) {
    T* child = FDialog->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  QTableView* Table() { return Child<QTableView>("tvStatistics"); }
  QChartView* ChartView() { return Child<QChartView>("chvResponse"); }

  int Column(const QString& title) {
    QAbstractItemModel* model = Table()->model();
    for (int c = 0; c < model->columnCount(); ++c)
      if (model->headerData(c, Qt::Horizontal).toString() == title) return c;
    ADD_FAILURE() << title.toStdString();
    return -1;
  }

  std::vector<QStringList> Cells() {
    QAbstractItemModel* model = Table()->model();
    std::vector<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < model->columnCount(); ++c) cells << model->index(r, c).data().toString();
      rows.push_back(cells);
    }
    return rows;
  }

  QStringList CommandColumn() {
    QStringList names;
    for (const QStringList& row : Cells()) names << row.first();
    return names;
  }

  QString Name(int row) { return QString::fromStdString(FList[row].CommandName()); }

  void ClickHeader(int column) {
    QHeaderView* header = Table()->horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
               header->height() / 2));
  }

  // The drawn points of the red series and of the others.
  struct TSeriesPoints {
    QList<QPointF> Red, Normal;
  };
  TSeriesPoints Points() {
    TSeriesPoints points;
    for (QAbstractSeries* series : ChartView()->chart()->series()) {
      auto* scatter = qobject_cast<QScatterSeries*>(series);
      EXPECT_NE(scatter, nullptr);
      if (!scatter) continue;
      (scatter->color() == QColor(Qt::red) ? points.Red : points.Normal) << scatter->points();
    }
    return points;
  }

  // Where the chart view's viewport shows the value (x = command number, y = ms).
  QPoint ViewportPosition(const QPointF& value) {
    QChart* chart = ChartView()->chart();
    const QPointF inChart = chart->mapToPosition(value, chart->series().first());
    return ChartView()->mapFromScene(chart->mapToScene(inChart));
  }

  TCommandList FList;
  std::unique_ptr<TStatisticsDialog> FDialog;
};

TEST_F(StatisticsDialogTest, TableCountsOnlyTheGivenRowsAndSortsByTheClickedHeader) {
  FillSmallList(FList);
  Open(kCountedRows);
  // The result comes through the event loop: until then the count is in progress.
  EXPECT_EQ(Child<QLabel>("lblTotals")->text(), QString::fromUtf8("Подсчёт..."));
  EXPECT_TRUE(Child<QProgressBar>("pbCount")->isVisible());
  WaitUntilReady();
  EXPECT_FALSE(Child<QProgressBar>("pbCount")->isVisible());
  EXPECT_EQ(Child<QLabel>("lblTotals")->text(),
            QString::fromUtf8("Команд: 8, с ошибкой: 3, без ответа: 2"));

  // Status: 40, 20, 300 (failed), 60 -> nearest ranks 2 and 4 of 20 40 60 300; row 7 is not
  // counted. Status request: one answer, one without. Code 2F has no response time.
  const std::vector<QStringList> expected = {
      {Name(0), "4", "1", "20", "40", "300", "300"},
      {Name(1), "2", "1", "100", "100", "100", "100"},
      {Name(8), "1", "1", "", "", "", ""},
      {Name(6), "1", "0", "500", "500", "500", "500"},
  };
  EXPECT_EQ(Cells(), expected);

  // The most frequent first at the start; a click on the same header turns the order over,
  // on another starts with the largest; a code without times stays last either way.
  const int count = Column("Число"), max = Column("Макс, мс");
  const struct {
    int Column;
    QStringList Order;
  } clicks[] = {
      {count, {Name(8), Name(6), Name(1), Name(0)}},
      {max, {Name(6), Name(0), Name(1), Name(8)}},
      {max, {Name(1), Name(0), Name(6), Name(8)}},
  };
  for (const auto& click : clicks) {
    ClickHeader(click.Column);
    EXPECT_EQ(CommandColumn(), click.Order) << click.Column;
  }
}

TEST_F(StatisticsDialogTest, ChartDrawsAnsweredCommandsRedWhenFailedAndPicksThem) {
  FillSmallList(FList);
  Open(kCountedRows);
  QSignalSpy picked(FDialog.get(), &TStatisticsDialog::CommandPicked);
  WaitUntilReady();

  QChart* chart = ChartView()->chart();
  EXPECT_EQ(chart->axes(Qt::Horizontal).first()->titleText(), QString::fromUtf8("Команда"));
  EXPECT_EQ(chart->axes(Qt::Vertical).first()->titleText(), QString::fromUtf8("Ответ, мс"));
  // x is the command's number in the log: row 3 failed with an answer; rows 4 and 8 have no
  // answer, row 7 is not counted.
  const TSeriesPoints points = Points();
  EXPECT_EQ(points.Red, QList<QPointF>({{4, 300}}));
  EXPECT_EQ(points.Normal, QList<QPointF>({{1, 40}, {2, 100}, {3, 20}, {6, 60}, {7, 500}}));

  // A click on a point picks its command; one far from every point picks none.
  const struct {
    QPointF Value;
    int Picked;  // -1: none
  } chartClicks[] = {{{7, 500}, 6}, {{4, 300}, 3}, {{1, 40}, 0}, {{5, 400}, -1}};
  for (const auto& click : chartClicks) {
    picked.clear();
    QTest::mouseClick(ChartView()->viewport(), Qt::LeftButton, {}, ViewportPosition(click.Value));
    if (click.Picked < 0) {
      EXPECT_EQ(picked.count(), 0);
    } else {
      ASSERT_EQ(picked.count(), 1) << click.Picked;
      EXPECT_EQ(picked.first().first().toInt(), click.Picked);
    }
  }

  // A double click on a row picks the code's first failed command, else its first.
  const struct {
    int TableRow;
    int Picked;
  } rowClicks[] = {{0, 3}, {1, 4}, {2, 8}, {3, 6}};
  for (const auto& click : rowClicks) {
    picked.clear();
    QTableView* table = Table();
    const QRect cell = table->visualRect(table->model()->index(click.TableRow, 1));
    // As the platform delivers a double click: press, release, double click, release.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(picked.count(), 1) << click.TableRow;
    EXPECT_EQ(picked.first().first().toInt(), click.Picked);
  }
}

TEST_F(StatisticsDialogTest, LongListIsThinnedOutKeepingExtremesAndFailures) {
  // Times cycle 10..59 ms; the first half fails every third command, the second only at
  // row 70001 (30 ms, neither fastest nor slowest around it); row 90050 takes 100 s.
  constexpr int kRows = 100000;
  constexpr int kFailedRow = 70001, kSlowRow = 90050;
  FList.Reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    const bool failed = (i < kRows / 2 && i % 3 == 0) || i == kFailedRow;
    const int ms = i == kSlowRow ? 100000 : i == kFailedRow ? 30 : 10 + i % 50;
    FList.Add(Exchange(i, 0x10, failed ? 0x33 : 0, ms));
  }
  std::vector<int> rows(kRows);
  std::iota(rows.begin(), rows.end(), 0);
  Open(std::move(rows));
  WaitUntilReady();

  const TSeriesPoints points = Points();
  const qsizetype drawn = points.Red.size() + points.Normal.size();
  EXPECT_LE(static_cast<std::size_t>(drawn), TStatisticsDialog::kMaxChartPoints);
  EXPECT_TRUE(ChartView()->chart()->title().startsWith(QString::fromUtf8("Показано точек: ")));
  EXPECT_TRUE(points.Red.contains(QPointF(kFailedRow + 1, 30)));
  EXPECT_TRUE(points.Normal.contains(QPointF(kSlowRow + 1, 100000)));
  // Every hundred commands keep their fastest and slowest answer.
  std::vector<bool> fastest(kRows / 100), slowest(kRows / 100);
  for (const QList<QPointF>* list : {&points.Red, &points.Normal})
    for (const QPointF& point : *list) {
      const std::size_t run = (static_cast<int>(point.x()) - 1) / 100;
      if (point.y() == 10) fastest[run] = true;
      if (point.y() == 59) slowest[run] = true;
    }
  for (std::size_t run = 0; run < fastest.size(); ++run) {
    EXPECT_TRUE(fastest[run]) << run;
    if (run != kSlowRow / 100) {
      EXPECT_TRUE(slowest[run]) << run;
    }
  }
}

}  // namespace
}  // namespace quillon
