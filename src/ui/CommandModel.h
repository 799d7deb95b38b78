// The rows of the command list: one per command of a TCommandList, with the state picture
// of the row and the colours and fonts the list draws the cells with.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <optional>
#include <vector>

#include "core/untCommand.h"

namespace quillon {

// A decoded text as the screen shows it: device texts are padded with zero bytes, which a
// line ends at, as the register's own display does.
QString ScreenText(const std::string& text);

// State pictures of a row.
enum TRowState : int { rsNone = -1, rsPlay = 0, rsError = 1, rsClose = 2 };

class TCommandModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum TColumn : int { colTime = 0, colThread = 1, colCommand = 2, colData = 3, colCount = 4 };
  // The state of a row (TRowState) for tests and the window.
  static constexpr int kStateRole = Qt::UserRole + 1;

  explicit TCommandModel(QObject* parent = nullptr);

  // Shows the commands of list (not owned; null shows nothing). Every row starts with the
  // Error picture when its command has an error.
  void SetCommands(const TCommandList* list);
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

  // The three state pictures, painted once.
  static const QIcon& StateIcon(TRowState state);

 private:
  const TCommandList* FCommands = nullptr;
  std::vector<signed char> FStates;
  mutable std::vector<std::optional<QString>> FDataTexts;
};

}  // namespace quillon
