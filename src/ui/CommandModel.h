// The rows of the command list: one per command of a TCommandList, with the state picture
// of the row and the colours and fonts the list draws the cells with.
#pragma once

#include <QAbstractProxyModel>
#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/untCommand.h"
#include "parser/AnswerComparison.h"
#include "ui/CommandTexts.h"

namespace quillon {

// State pictures of a row.
enum TRowState : int { rsNone = -1, rsPlay = 0, rsError = 1, rsClose = 2 };

class TCommandModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // After the four columns of the log come the comparison of the logged with the played
  // answer, the milliseconds since the request of the command before (colDelta) and the
  // register's response time (colResponse); the list hides these until the user shows them.
  enum TColumn : int {
    colTime = 0,
    colThread = 1,
    colCommand = 2,
    colData = 3,
    colCompare = 4,
    colDelta = 5,
    colResponse = 6,
    colCount = 7
  };
  // The state of a row (TRowState) for tests and the window.
  static constexpr int kStateRole = Qt::UserRole + 1;
  // The verdict of a row's answer comparison (TAnswerVerdict).
  static constexpr int kVerdictRole = Qt::UserRole + 2;

  explicit TCommandModel(QObject* parent = nullptr);

  // Shows the commands of list (not owned; null shows nothing). Every row starts with the
  // Error picture when its command has an error.
  void SetCommands(const TCommandList* list);
  // Rows for count commands that `add` adds at the end of the list, and for a command
  // of the list that was replaced; they start as the rows of a load do.
  void AppendCommands(int count, const std::function<void()>& add);
  void CommandReplaced(int row);
  const TCommandList* Commands() const { return FCommands; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  TRowState RowState(int row) const;
  void SetRowState(int row, TRowState state);
  // Gives every row the state it has after a load (Error or none).
  void ResetRowStates();
  // The "Data" text of a row; computed on first use and kept.
  const QString& DataText(int row) const;
  // Milliseconds from the request of the command before (in the log) to this one's; empty
  // for the first row and when either time stamp cannot be read.
  std::optional<std::int64_t> DeltaMs(int row) const;

  // The three state pictures, painted once.
  static const QIcon& StateIcon(TRowState state);

  // The answer comparison. A row's verdict is computed when first asked for and kept until
  // its played answer changes (InvalidateVerdict); a command not played yet is "not played"
  // without a comparison.
  TAnswerVerdict Verdict(int row) const;
  // The full comparison of a row, fields included (not kept).
  TAnswerComparison Comparison(int row) const;
  // The row's played answer has changed.
  void InvalidateVerdict(int row);
  // A playback starts and clears every played answer: every row is "not played" until the
  // playback reaches it (InvalidateVerdict then).
  void ForgetPlayedAnswers();
  // Forgets every verdict.
  void InvalidateVerdicts();
  // Counts every change of the verdicts: a bulk result computed from an older state is not
  // taken (AdoptVerdicts).
  std::uint64_t VerdictEpoch() const { return FVerdictEpoch; }
  // Takes the verdicts of every row computed elsewhere, unless anything changed since
  // epoch; false when not taken.
  bool AdoptVerdicts(std::uint64_t epoch, const std::vector<signed char>& verdicts);
  // The user's own volatile field names, besides the built-in ones.
  void SetExtraVolatileFields(const QStringList& names);
  const TVolatileFields& VolatileFields() const { return FVolatile; }

 private:
  void EmitVerdictsChanged(int first, int last);

  const TCommandList* FCommands = nullptr;
  std::vector<signed char> FStates;
  mutable std::vector<std::optional<QString>> FDataTexts;
  mutable std::vector<signed char> FVerdicts;  // -1: not known
  std::uint64_t FVerdictEpoch = 0;
  TVolatileFields FVolatile;
};

// The rows of a TCommandModel (or of a model over it) whose answer differs from the logged
// one. The verdicts the source gives (kVerdictRole) decide; rows come and go as the source
// reports their verdicts changed.
class TDifferingRowsModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit TDifferingRowsModel(QAbstractItemModel& source, QObject* parent = nullptr);

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

// The rows of a flat model named by a list of its row numbers, worked out beforehand (the
// display filter's result). A new list comes in with a single reset, whatever its length;
// a reset of the source empties the list.
class TShownRowsModel : public QAbstractProxyModel {
  Q_OBJECT

 public:
  // Ascending row numbers of the source.
  using TRows = std::shared_ptr<const std::vector<int>>;

  explicit TShownRowsModel(QAbstractItemModel& source, QObject* parent = nullptr);

  void SetRows(TRows rows);
  const TRows& Rows() const { return FRows; }
  // The rows from source row `from` on become `tail` (ascending, from `from` on): those
  // that go are removed and the new ones inserted, the rows before keep their place.
  void ReplaceTail(int from, const std::vector<int>& tail);

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
  QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

 private:
  void SourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                         const QList<int>& roles);
  int Count() const { return FRows ? static_cast<int>(FRows->size()) : 0; }

  TRows FRows;
};

}  // namespace quillon
