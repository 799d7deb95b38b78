// The statistics of a part of the list: per command code how many there are, how many
// failed and how long the register took to answer them (TCommandStatistics), and a chart
// of the response times across the log. Counted on a worker; closing the dialog cancels.
#pragma once

#include <QDialog>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "core/untCommand.h"

class QChartView;
class QLabel;
class QModelIndex;
class QProgressBar;
class QTableView;

namespace quillon {

class TNotifyThread;
class TStatisticsModel;
struct TStatisticsResult;

class TStatisticsDialog : public QDialog {
  Q_OBJECT

 public:
  // At most this many points are drawn, however long the list.
  static constexpr std::size_t kMaxChartPoints = 6000;

  // Counts the given rows of commands (indices into commands, in log order). commands is
  // not owned: it must live and keep its commands while the dialog is open.
  TStatisticsDialog(const TCommandList& commands, std::vector<int> rows, QWidget* parent = nullptr);
  // Cancels a count still running and waits for its thread.
  ~TStatisticsDialog() override;

  // The count has ended and the table and the chart show it.
  bool Ready() const { return FResult != nullptr; }

  // Closing cancels a count still running.
  void done(int result) override;

 signals:
  // The user picked a command, the index into commands: a point of the chart, or a double
  // click on a row of the table (that code's first failed command, else its first).
  void CommandPicked(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Start(const TCommandList& commands, std::vector<int> rows);
  void Cancel();
  void ShowProgress(int percent);
  void ShowResult(std::shared_ptr<const TStatisticsResult> result);
  void FillChart();
  // The command of the drawn point nearest to a position of the chart view's viewport,
  // within a few pixels; -1 when none is that near.
  int PointAt(const QPoint& position) const;
  void RowActivated(const QModelIndex& index);

  QLabel* lblTotals = nullptr;
  QProgressBar* pbCount = nullptr;
  QTableView* tvStatistics = nullptr;
  QChartView* chvResponse = nullptr;
  TStatisticsModel* FModel = nullptr;
  std::unique_ptr<TNotifyThread> FThread;
  std::shared_ptr<std::atomic<bool>> FCancel;
  std::shared_ptr<const TStatisticsResult> FResult;
};

}  // namespace quillon
