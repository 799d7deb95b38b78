// The damaged records of the loaded log in a panel beside the list: one line each, its log
// line and what was wrong. Picking one tells its log line; nothing here waits for the user.
#pragma once

#include <QDockWidget>
#include <cstdint>
#include <vector>

#include "core/LogParser2.h"

class QListView;

namespace quillon {

class TDiagnosticsModel;

class TDiagnosticsPanel : public QDockWidget {
  Q_OBJECT

 public:
  explicit TDiagnosticsPanel(QWidget* parent = nullptr);

  // The records listed, those of the log just loaded (none: an empty list).
  void SetDiagnostics(std::vector<TParseDiagnostic> diagnostics);
  std::size_t Count() const;
  const std::vector<TParseDiagnostic>& Diagnostics() const;
  QListView* List() const { return FList; }

 signals:
  // A record was clicked or chosen with Enter: the log line where it began.
  void LinePicked(qint64 line);

 private:
  void Pick(const QModelIndex& index);

  TDiagnosticsModel* FModel = nullptr;
  QListView* FList = nullptr;
};

}  // namespace quillon
