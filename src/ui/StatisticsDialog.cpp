#include "ui/StatisticsDialog.h"

#include <QAbstractTableModel>
#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QList>
#include <QMouseEvent>
#include <QPointF>
#include <QProgressBar>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "core/CommandStatistics.h"
#include "player/NotifyThread.h"
#include "ui/QueuedCall.h"
#include "ui/UiText.h"

namespace quillon {

// A drawn point: the command (index into the list) and its response time.
struct TChartPoint {
  int Row = 0;
  std::int64_t Ms = 0;
  bool Failed = false;
};

// A row of the table, with the commands a double click on it picks.
struct TStatisticsRow {
  TCodeStatistics Stats;
  int First = -1;        // the first command with this key
  int FirstFailed = -1;  // the first failed one; -1: none failed
};

// What one count gave.
struct TStatisticsResult {
  std::uint64_t Commands = 0, Failed = 0, Unanswered = 0;
  std::vector<TStatisticsRow> Rows;  // most frequent first, as TCommandStatistics::Rows
  std::vector<TChartPoint> Points;   // in log order
  std::uint64_t Responses = 0;       // commands with a response time, drawn or not
  int FirstRow = 0, LastRow = 0;     // the given rows span these commands
};

namespace {

// The chart of a long list is thinned out so that it stays quick to draw and to click: the
// given rows are cut into kBuckets runs of equal length, and of each run the fastest and
// the slowest answer are drawn, and its failed commands up to kFailedPerBucket. Up to
// kBuckets rows every point is drawn; on a million a spike or a failure stays in sight.
constexpr std::size_t kBuckets = 1000;
constexpr std::size_t kFailedPerBucket = 4;
static_assert(kBuckets * (kFailedPerBucket + 2) <= TStatisticsDialog::kMaxChartPoints);

// The worker looks for a cancel and reports its progress after this many rows.
constexpr std::size_t kProgressStep = 4096;
// A click picks a point at most this many pixels away.
constexpr double kPickRadius = 8;
constexpr qreal kMarkerSize = 7;

class TPointDecimator {
 public:
  TPointDecimator(std::size_t rows, std::vector<TChartPoint>& out) : FRows(rows), FOut(out) {}

  // The point of the row at this position among the given rows; positions ascend.
  void Add(std::size_t position, const TChartPoint& point) {
    const std::size_t bucket = position * kBuckets / FRows;
    if (bucket != FBucket) Flush();
    FBucket = bucket;
    if (!FMin || point.Ms < FMin->Ms) FMin = point;
    if (!FMax || point.Ms > FMax->Ms) FMax = point;
    if (point.Failed && FFailed.size() < kFailedPerBucket) FFailed.push_back(point);
  }

  void Flush() {
    std::vector<TChartPoint> kept = std::move(FFailed);
    for (const std::optional<TChartPoint>& point : {FMin, FMax})
      if (point && std::none_of(kept.begin(), kept.end(),
                                [&](const TChartPoint& p) { return p.Row == point->Row; }))
        kept.push_back(*point);
    std::sort(kept.begin(), kept.end(),
              [](const TChartPoint& a, const TChartPoint& b) { return a.Row < b.Row; });
    FOut.insert(FOut.end(), kept.begin(), kept.end());
    FFailed.clear();
    FMin.reset();
    FMax.reset();
  }

 private:
  std::size_t FRows;
  std::vector<TChartPoint>& FOut;
  std::size_t FBucket = std::numeric_limits<std::size_t>::max();
  std::optional<TChartPoint> FMin, FMax;
  std::vector<TChartPoint> FFailed;
};

// Counts the given rows; empty when cancelled. progress gets 0..100.
std::shared_ptr<TStatisticsResult> Count(const TCommandList& commands, const std::vector<int>& rows,
                                         const std::atomic<bool>& cancel,
                                         const std::function<void(int)>& progress) {
  auto result = std::make_shared<TStatisticsResult>();
  TCommandStatistics statistics;
  std::map<std::int64_t, std::pair<int, int>> firsts;  // key: first, first failed
  TPointDecimator decimator(rows.size(), result->Points);
  bool any = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i % kProgressStep == 0) {
      if (cancel.load()) return nullptr;
      progress(static_cast<int>(100 * static_cast<std::uint64_t>(i) / rows.size()));
    }
    const int row = rows[i];
    if (row < 0 || static_cast<std::size_t>(row) >= commands.Count()) continue;
    const TCommand& command = commands[row];
    statistics.Add(command);
    const bool failed = command.HasError();
    auto [it, added] = firsts.try_emplace(TCommandStatistics::KeyOf(command), row, -1);
    if (failed && it->second.second < 0) it->second.second = row;
    result->FirstRow = any ? std::min(result->FirstRow, row) : row;
    result->LastRow = any ? std::max(result->LastRow, row) : row;
    any = true;
    if (std::optional<std::int64_t> ms = command.ResponseMs()) {
      ++result->Responses;
      decimator.Add(i, {row, *ms, failed});
    }
  }
  decimator.Flush();
  result->Commands = statistics.Commands();
  result->Failed = statistics.Failed();
  result->Unanswered = statistics.Unanswered();
  for (TCodeStatistics& stats : statistics.Rows()) {
    const auto& [first, firstFailed] = firsts.at(stats.Key);
    result->Rows.push_back({std::move(stats), first, firstFailed});
  }
  progress(100);
  return result;
}

}  // namespace

// The table's rows, sorted by any column: numbers as numbers, the command by its code, and
// a code without response times after all the others whichever the order.
class TStatisticsModel : public QAbstractTableModel {
 public:
  enum TColumn : int {
    colCommand = 0,
    colCount,
    colFailed,
    colMin,
    colMedian,
    colP95,
    colMax,
    colColumns
  };

  using QAbstractTableModel::QAbstractTableModel;

  void SetRows(std::vector<TStatisticsRow> rows) {
    beginResetModel();
    FRows = std::move(rows);
    FOrder.resize(FRows.size());
    for (std::size_t i = 0; i < FOrder.size(); ++i) FOrder[i] = i;
    SortOrder();
    endResetModel();
  }

  const TStatisticsRow& Row(int row) const { return FRows[FOrder[row]]; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(FOrder.size());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : colColumns;
  }

  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TStatisticsRow& row = Row(index.row());
    if (role == Qt::TextAlignmentRole && index.column() != colCommand)
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    if (index.column() == colCommand) return Q(row.Stats.Name);
    std::optional<std::int64_t> value = Value(row, index.column());
    return value ? QVariant(QString::number(*value)) : QVariant(QString());
  }

  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override {
    if (orientation != Qt::Horizontal)
      return QAbstractTableModel::headerData(section, orientation, role);
    // Numbers are looked at the largest first.
    if (role == Qt::InitialSortOrderRole)
      return section == colCommand ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (role != Qt::DisplayRole) return {};
    if (section < 0 || section >= static_cast<int>(std::size(kStatisticsColumns))) return {};
    return T(kStatisticsColumns[section]);
  }

  void sort(int column, Qt::SortOrder order) override {
    FSortColumn = column;
    FSortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> rowsBefore;
    for (const QModelIndex& index : before) rowsBefore.push_back(FOrder[index.row()]);
    SortOrder();
    std::vector<int> positions(FRows.size());
    for (std::size_t i = 0; i < FOrder.size(); ++i) positions[FOrder[i]] = static_cast<int>(i);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
      after << index(positions[rowsBefore[i]], before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  }

 private:
  static std::optional<std::int64_t> Value(const TStatisticsRow& row, int column) {
    const std::optional<TResponseSummary>& response = row.Stats.Response;
    switch (column) {
      case colCommand:
        return row.Stats.Key;
      case colCount:
        return static_cast<std::int64_t>(row.Stats.Count);
      case colFailed:
        return static_cast<std::int64_t>(row.Stats.Failed);
      case colMin:
        return response ? std::optional(response->MinMs) : std::nullopt;
      case colMedian:
        return response ? std::optional(response->MedianMs) : std::nullopt;
      case colP95:
        return response ? std::optional(response->P95Ms) : std::nullopt;
      case colMax:
        return response ? std::optional(response->MaxMs) : std::nullopt;
      default:
        return std::nullopt;
    }
  }

  // Orders FOrder by the sort column; equal values keep the order of
  // TCommandStatistics::Rows.
  void SortOrder() {
    if (FSortColumn < 0 || FSortColumn >= colColumns) return;
    std::sort(FOrder.begin(), FOrder.end());
    std::stable_sort(FOrder.begin(), FOrder.end(), [this](std::size_t a, std::size_t b) {
      const std::optional<std::int64_t> x = Value(FRows[a], FSortColumn);
      const std::optional<std::int64_t> y = Value(FRows[b], FSortColumn);
      if (!x || !y) return x.has_value() && !y.has_value();
      return FSortOrder == Qt::AscendingOrder ? *x < *y : *x > *y;
    });
  }

  std::vector<TStatisticsRow> FRows;
  std::vector<std::size_t> FOrder;  // the shown order: indices into FRows
  int FSortColumn = -1;
  Qt::SortOrder FSortOrder = Qt::AscendingOrder;
};

TStatisticsDialog::TStatisticsDialog(const TCommandList& commands, std::vector<int> rows,
                                     QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(T("Статистика"));
  auto* layout = new QVBoxLayout(this);

  lblTotals = new QLabel(T("Подсчёт..."), this);
  lblTotals->setObjectName(QStringLiteral("lblTotals"));
  layout->addWidget(lblTotals);
  pbCount = new QProgressBar(this);
  pbCount->setObjectName(QStringLiteral("pbCount"));
  pbCount->setRange(0, 100);
  layout->addWidget(pbCount);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  FModel = new TStatisticsModel(this);
  tvStatistics = new QTableView(splitter);
  tvStatistics->setObjectName(QStringLiteral("tvStatistics"));
  tvStatistics->setModel(FModel);
  tvStatistics->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvStatistics->setSelectionMode(QAbstractItemView::SingleSelection);
  tvStatistics->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvStatistics->verticalHeader()->hide();
  tvStatistics->horizontalHeader()->setSectionResizeMode(TStatisticsModel::colCommand,
                                                         QHeaderView::Stretch);
  // The order of TCommandStatistics::Rows, the most frequent first.
  tvStatistics->horizontalHeader()->setSortIndicator(TStatisticsModel::colCount,
                                                     Qt::DescendingOrder);
  tvStatistics->setSortingEnabled(true);
  connect(tvStatistics, &QTableView::doubleClicked, this, &TStatisticsDialog::RowActivated);

  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignBottom);
  auto* axisX = new QValueAxis(chart);
  axisX->setTitleText(T("Команда"));
  axisX->setLabelFormat(QStringLiteral("%d"));
  auto* axisY = new QValueAxis(chart);
  axisY->setTitleText(T("Ответ, мс"));
  axisY->setLabelFormat(QStringLiteral("%d"));
  chart->addAxis(axisX, Qt::AlignBottom);
  chart->addAxis(axisY, Qt::AlignLeft);
  chvResponse = new QChartView(chart, splitter);
  chvResponse->setObjectName(QStringLiteral("chvResponse"));
  chvResponse->setRenderHint(QPainter::Antialiasing);
  chvResponse->viewport()->installEventFilter(this);
  splitter->addWidget(tvStatistics);
  splitter->addWidget(chvResponse);
  layout->addWidget(splitter, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(900, 700);

  Start(commands, std::move(rows));
}

TStatisticsDialog::~TStatisticsDialog() {
  Cancel();
}

void TStatisticsDialog::Start(const TCommandList& commands, std::vector<int> rows) {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  FCancel = cancel;
  auto result = std::make_shared<std::shared_ptr<TStatisticsResult>>();
  FThread = StartNotifyThread(
      [this, &commands, rows = std::move(rows), cancel, result](TNotifyThread&) {
        int shown = -1;
        *result = Count(commands, rows, *cancel, [&](int percent) {
          if (percent == shown) return;
          shown = percent;
          QMetaObject::invokeMethod(
              this, [this, percent] { ShowProgress(percent); }, Qt::QueuedConnection);
        });
      },
      [this, cancel, result](TNotifyThread&) {
        FThread.reset();
        if (!cancel->load() && *result) ShowResult(*result);
      },
      QueuedOn(this));
}

void TStatisticsDialog::Cancel() {
  if (!FThread) return;
  *FCancel = true;
  FThread.reset();  // waits for the worker; its end is not reported
}

void TStatisticsDialog::done(int result) {
  Cancel();
  QDialog::done(result);
}

void TStatisticsDialog::ShowProgress(int percent) {
  if (FThread) pbCount->setValue(percent);
}

void TStatisticsDialog::ShowResult(std::shared_ptr<const TStatisticsResult> result) {
  FResult = std::move(result);
  pbCount->hide();
  lblTotals->setText(T("Команд: %1, с ошибкой: %2, без ответа: %3")
                         .arg(static_cast<qulonglong>(FResult->Commands))
                         .arg(static_cast<qulonglong>(FResult->Failed))
                         .arg(static_cast<qulonglong>(FResult->Unanswered)));
  FModel->SetRows(FResult->Rows);
  FillChart();
}

void TStatisticsDialog::FillChart() {
  QChart* chart = chvResponse->chart();
  QList<QPointF> normal, failed;
  std::int64_t minMs = 0, maxMs = 0;
  for (const TChartPoint& point : FResult->Points) {
    (point.Failed ? failed : normal)
        .append(QPointF(point.Row + 1.0, static_cast<double>(point.Ms)));
    minMs = std::min(minMs, point.Ms);
    maxMs = std::max(maxMs, point.Ms);
  }
  auto addSeries = [&](const QString& name, const QList<QPointF>& points) {
    auto* series = new QScatterSeries(chart);
    series->setName(name);
    series->setMarkerSize(kMarkerSize);
    series->replace(points);
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
    return series;
  };
  addSeries(T("Без ошибки"), normal);
  QScatterSeries* red = addSeries(T("С ошибкой"), failed);
  // After addSeries, which gives the theme's colour.
  red->setColor(Qt::red);
  red->setBorderColor(Qt::red);

  const QList<QAbstractAxis*> x = chart->axes(Qt::Horizontal);
  const QList<QAbstractAxis*> y = chart->axes(Qt::Vertical);
  const double first = FResult->FirstRow + 1.0, last = FResult->LastRow + 1.0;
  x.first()->setRange(first - 0.5, std::max(last, first + 1) + 0.5);
  y.first()->setRange(static_cast<double>(minMs), std::max<double>(maxMs * 1.05, maxMs + 1.0));
  if (FResult->Points.size() < FResult->Responses)
    chart->setTitle(T("Показано точек: %1 из %2")
                        .arg(static_cast<qulonglong>(FResult->Points.size()))
                        .arg(static_cast<qulonglong>(FResult->Responses)));
}

int TStatisticsDialog::PointAt(const QPoint& position) const {
  if (!FResult) return -1;
  QChart* chart = chvResponse->chart();
  const QList<QAbstractSeries*> series = chart->series();
  if (series.isEmpty()) return -1;
  const QPointF click = chart->mapFromScene(chvResponse->mapToScene(position));
  int best = -1;
  double bestDistance = kPickRadius * kPickRadius;
  for (const TChartPoint& point : FResult->Points) {
    const QPointF at = chart->mapToPosition(QPointF(point.Row + 1.0, static_cast<double>(point.Ms)),
                                            series.first());
    const QPointF d = at - click;
    const double distance = d.x() * d.x() + d.y() * d.y();
    if (distance <= bestDistance) {
      bestDistance = distance;
      best = point.Row;
    }
  }
  return best;
}

bool TStatisticsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == chvResponse->viewport() && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      const int row = PointAt(mouse->position().toPoint());
      if (row >= 0) emit CommandPicked(row);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TStatisticsDialog::RowActivated(const QModelIndex& index) {
  if (!index.isValid()) return;
  const TStatisticsRow& row = FModel->Row(index.row());
  emit CommandPicked(row.FirstFailed >= 0 ? row.FirstFailed : row.First);
}

}  // namespace quillon
