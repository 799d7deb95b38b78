#include "ui/DiagnosticsPanel.h"

#include <QAbstractListModel>
#include <QListView>
#include <utility>

#include "ui/LogLoadController.h"
#include "ui/UiText.h"

namespace quillon {

// The records as rows; a text is made only for the rows the list paints, so a log with a
// great many damaged records lists them at once.
class TDiagnosticsModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void Set(std::vector<TParseDiagnostic> diagnostics) {
    beginResetModel();
    FDiagnostics = std::move(diagnostics);
    endResetModel();
  }
  const std::vector<TParseDiagnostic>& Diagnostics() const { return FDiagnostics; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(FDiagnostics.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role != Qt::DisplayRole) return {};
    return DiagnosticText(FDiagnostics[index.row()]);
  }

 private:
  std::vector<TParseDiagnostic> FDiagnostics;
};

TDiagnosticsPanel::TDiagnosticsPanel(QWidget* parent)
    : QDockWidget(T("Поврежденные записи лога"), parent) {
  setObjectName(QStringLiteral("dckDiagnostics"));
  FModel = new TDiagnosticsModel(this);
  FList = new QListView(this);
  FList->setObjectName(QStringLiteral("lvDiagnostics"));
  FList->setModel(FModel);
  FList->setUniformItemSizes(true);
  FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FList->setToolTip(T("Щелкните запись, чтобы выделить ближайшую к ней команду"));
  setWidget(FList);
  connect(FList, &QListView::clicked, this, &TDiagnosticsPanel::Pick);
  connect(FList, &QListView::activated, this, &TDiagnosticsPanel::Pick);
}

void TDiagnosticsPanel::SetDiagnostics(std::vector<TParseDiagnostic> diagnostics) {
  FModel->Set(std::move(diagnostics));
}

std::size_t TDiagnosticsPanel::Count() const {
  return FModel->Diagnostics().size();
}

const std::vector<TParseDiagnostic>& TDiagnosticsPanel::Diagnostics() const {
  return FModel->Diagnostics();
}

void TDiagnosticsPanel::Pick(const QModelIndex& index) {
  if (!index.isValid()) return;
  emit LinePicked(FModel->Diagnostics()[index.row()].LineNumber);
}

}  // namespace quillon
