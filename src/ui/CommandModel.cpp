#include "ui/CommandModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <algorithm>
#include <exception>

#include "ui/FixedFont.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

constexpr int kIconSize = 16;

QIcon PaintIcon(TRowState state) {
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  switch (state) {
    case rsPlay: {  // green triangle pointing right
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0, 160, 0));
      const QPolygon triangle({QPoint(4, 2), QPoint(13, 8), QPoint(4, 14)});
      painter.drawPolygon(triangle);
      break;
    }
    case rsError: {  // red disc with an exclamation mark
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(220, 0, 0));
      painter.drawEllipse(1, 1, 14, 14);
      painter.setPen(QPen(Qt::white, 2));
      painter.drawLine(8, 4, 8, 9);
      painter.drawPoint(8, 12);
      break;
    }
    case rsClose: {  // red cross
      painter.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(3, 3, 13, 13);
      painter.drawLine(13, 3, 3, 13);
      break;
    }
    default:
      break;
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

TCommandModel::TCommandModel(QObject* parent) : QAbstractTableModel(parent) {}

void TCommandModel::SetCommands(const TCommandList* list) {
  beginResetModel();
  FCommands = list;
  const std::size_t count = list ? list->Count() : 0;
  FDataTexts.assign(count, std::nullopt);
  FVerdicts.assign(count, -1);
  ++FVerdictEpoch;
  FStates.resize(count);
  for (std::size_t i = 0; i < count; ++i)
    FStates[i] = static_cast<signed char>((*list)[i].HasError() ? rsError : rsNone);
  endResetModel();
}

void TCommandModel::AppendCommands(int count, const std::function<void()>& add) {
  if (!FCommands || count <= 0) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + count - 1);
  add();
  const std::size_t total = FCommands->Count();
  FDataTexts.resize(total);
  FVerdicts.resize(total, -1);
  ++FVerdictEpoch;
  FStates.resize(total);
  for (std::size_t i = static_cast<std::size_t>(first); i < total; ++i)
    FStates[i] = static_cast<signed char>((*FCommands)[i].HasError() ? rsError : rsNone);
  endInsertRows();
}

void TCommandModel::CommandReplaced(int row) {
  if (!FCommands || row < 0 || row >= rowCount()) return;
  FDataTexts[row].reset();
  FVerdicts[row] = -1;
  ++FVerdictEpoch;
  FStates[row] = static_cast<signed char>((*FCommands)[row].HasError() ? rsError : rsNone);
  // The next row's gap is measured from this one's request.
  emit dataChanged(index(row, 0), index(std::min(row + 1, rowCount() - 1), colCount - 1));
}

int TCommandModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !FCommands) return 0;
  return static_cast<int>(FCommands->Count());
}

int TCommandModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount;
}

TRowState TCommandModel::RowState(int row) const {
  if (row < 0 || row >= static_cast<int>(FStates.size())) return rsNone;
  return static_cast<TRowState>(FStates[row]);
}

void TCommandModel::SetRowState(int row, TRowState state) {
  if (row < 0 || row >= static_cast<int>(FStates.size())) return;
  if (FStates[row] == state) return;
  FStates[row] = static_cast<signed char>(state);
  emit dataChanged(index(row, 0), index(row, colCount - 1));
}

void TCommandModel::ResetRowStates() {
  if (!FCommands || FStates.empty()) return;
  for (std::size_t i = 0; i < FStates.size(); ++i)
    FStates[i] = (*FCommands)[i].HasError() ? rsError : rsNone;
  emit dataChanged(index(0, 0), index(rowCount() - 1, colCount - 1));
}

const QString& TCommandModel::DataText(int row) const {
  std::optional<QString>& cached = FDataTexts[row];
  if (!cached) cached = CommandSummaryText((*FCommands)[row]);
  return *cached;
}

std::optional<std::int64_t> TCommandModel::DeltaMs(int row) const {
  if (!FCommands || row <= 0 || row >= rowCount()) return std::nullopt;
  const std::optional<std::int64_t> previous = (*FCommands)[row - 1].RequestTimeMs();
  const std::optional<std::int64_t> own = (*FCommands)[row].RequestTimeMs();
  if (!previous || !own) return std::nullopt;
  return *own - *previous;
}

const QIcon& TCommandModel::StateIcon(TRowState state) {
  static const QIcon icons[] = {PaintIcon(rsPlay), PaintIcon(rsError), PaintIcon(rsClose)};
  static const QIcon none;
  if (state < rsPlay || state > rsClose) return none;
  return icons[state];
}

TAnswerVerdict TCommandModel::Verdict(int row) const {
  if (!FCommands || row < 0 || row >= static_cast<int>(FVerdicts.size())) return avNotPlayed;
  signed char& cached = FVerdicts[row];
  if (cached >= 0) return static_cast<TAnswerVerdict>(cached);
  const TCommand& command = (*FCommands)[row];
  // The player sets Played after the played answer, so a played command's answer is final
  // until the next playback (which invalidates the row when it reaches it).
  if (!command.Played) return avNotPlayed;
  TAnswerVerdict verdict = avNotPlayed;
  try {
    verdict = CompareAnswers(command, FVolatile).Verdict;
  } catch (const std::exception&) {
    verdict = avNotPlayed;  // a command the decoder cannot read is not compared
  }
  cached = static_cast<signed char>(verdict);
  return verdict;
}

TAnswerComparison TCommandModel::Comparison(int row) const {
  if (!FCommands || row < 0 || row >= rowCount()) return {};
  const TCommand& command = (*FCommands)[row];
  if (!command.Played) return {};
  return CompareAnswers(command, FVolatile);
}

void TCommandModel::EmitVerdictsChanged(int first, int last) {
  ++FVerdictEpoch;
  if (first <= last) emit dataChanged(index(first, colCompare), index(last, colCompare));
}

void TCommandModel::InvalidateVerdict(int row) {
  if (row < 0 || row >= static_cast<int>(FVerdicts.size())) return;
  FVerdicts[row] = -1;
  EmitVerdictsChanged(row, row);
}

void TCommandModel::ForgetPlayedAnswers() {
  // Kept, not forgotten: a row asked for before the worker has cleared its answer would
  // otherwise be judged by the answer of the previous playback.
  std::fill(FVerdicts.begin(), FVerdicts.end(), static_cast<signed char>(avNotPlayed));
  EmitVerdictsChanged(0, rowCount() - 1);
}

void TCommandModel::InvalidateVerdicts() {
  std::fill(FVerdicts.begin(), FVerdicts.end(), static_cast<signed char>(-1));
  EmitVerdictsChanged(0, rowCount() - 1);
}

bool TCommandModel::AdoptVerdicts(std::uint64_t epoch, const std::vector<signed char>& verdicts) {
  if (epoch != FVerdictEpoch || verdicts.size() != FVerdicts.size()) return false;
  FVerdicts = verdicts;
  EmitVerdictsChanged(0, rowCount() - 1);
  return true;
}

void TCommandModel::SetExtraVolatileFields(const QStringList& names) {
  FVolatile = TVolatileFields();
  for (const QString& name : names)
    if (!name.trimmed().isEmpty()) FVolatile.Add(name.trimmed().toStdString());
  InvalidateVerdicts();
}

QVariant TCommandModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !FCommands || index.row() >= rowCount()) return {};
  const int row = index.row();
  const int column = index.column();
  if (column == colCompare) {
    switch (role) {
      case Qt::DisplayRole: {
        const TAnswerVerdict verdict = Verdict(row);
        return verdict == avNotPlayed ? QString() : Q(AnswerVerdictText(verdict));
      }
      case kVerdictRole:
        return static_cast<int>(Verdict(row));
      case Qt::ForegroundRole:
        // Colours of their own: the row colours mean the logged command, these the replay.
        switch (Verdict(row)) {
          case avSame:
            return QBrush(QColor(0, 128, 0));
          case avResultDiffers:
          case avDataDiffers:
            return QBrush(QColor(204, 102, 0));
          case avNoLoggedAnswer:
            return QBrush(QColor(0, 96, 192));
          default:
            return {};
        }
      case Qt::FontRole:
        if (AnswerDiffers(Verdict(row))) {
          QFont font;
          font.setBold(true);
          return font;
        }
        return {};
      case kStateRole:
        return static_cast<int>(RowState(row));
      default:
        return {};
    }
  }
  if (column == colDelta || column == colResponse) {
    switch (role) {
      case Qt::DisplayRole: {
        const std::optional<std::int64_t> ms =
            column == colDelta ? DeltaMs(row) : (*FCommands)[row].ResponseMs();
        return ms ? QString::number(*ms) : QString();
      }
      case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
      case Qt::ForegroundRole:
        if (RowState(row) == rsError) return QBrush(QColor(255, 0, 0));
        return {};
      case kStateRole:
        return static_cast<int>(RowState(row));
      default:
        return {};
    }
  }
  const TCommand& command = (*FCommands)[row];
  const bool hasError = command.HasError();
  const bool bold = !hasError && command.IsRecRepCommand();
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case colTime:
          return QString::fromStdString(command.TimeStamp());
        case colThread:
          return QString::fromStdString(command.ThreadID());
        case colCommand:
          return QString::fromStdString(command.CommandName());
        case colData:
          return DataText(row);
        default:
          return {};
      }
    case Qt::DecorationRole:
      if (column == colTime && RowState(row) != rsNone) return StateIcon(RowState(row));
      return {};
    case kStateRole:
      return static_cast<int>(RowState(row));
    case Qt::ForegroundRole:
      if (RowState(row) == rsError) return QBrush(QColor(255, 0, 0));
      if (column == colCommand || column == colData) {
        if (hasError) return QBrush(QColor(255, 0, 0));
        if (column == colData && !bold) {
          if (command.Code() == 0x6B) return QBrush(QColor(255, 0, 0));
          if (command.IsStatusCommand()) return QBrush(QColor(128, 0, 128));
        }
      }
      return {};
    case Qt::FontRole:
      if (column == colCommand || column == colData) {
        if (bold) {
          QFont font;
          font.setBold(true);
          return font;
        }
        if (column == colData && !hasError && command.Code() == 0x2F) return FixedFont();
      }
      return {};
    default:
      return {};
  }
}

QVariant TCommandModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const titles[] = {"Time", "Thread", "Command", "Data"};
  if (section == colCompare) return T("Сравнение");
  if (section == colDelta) return T("Δ, мс");
  if (section == colResponse) return T("Ответ, мс");
  if (section < 0 || section > colData) return {};
  return QString::fromLatin1(titles[section]);
}

TDifferingRowsModel::TDifferingRowsModel(QAbstractItemModel& source, QObject* parent)
    : QSortFilterProxyModel(parent) {
  setFilterKeyColumn(TCommandModel::colCompare);
  setSourceModel(&source);
}

bool TDifferingRowsModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  const QModelIndex verdict = sourceModel()->index(sourceRow, TCommandModel::colCompare);
  return AnswerDiffers(
      static_cast<TAnswerVerdict>(verdict.data(TCommandModel::kVerdictRole).toInt()));
}

TShownRowsModel::TShownRowsModel(QAbstractItemModel& source, QObject* parent)
    : QAbstractProxyModel(parent) {
  setSourceModel(&source);
  connect(&source, &QAbstractItemModel::modelAboutToBeReset, this,
          &TShownRowsModel::beginResetModel);
  connect(&source, &QAbstractItemModel::modelReset, this, [this] {
    FRows.reset();  // the numbers were of the rows before
    endResetModel();
  });
  connect(&source, &QAbstractItemModel::dataChanged, this, &TShownRowsModel::SourceDataChanged);
  connect(&source, &QAbstractItemModel::headerDataChanged, this,
          &TShownRowsModel::headerDataChanged);
}

void TShownRowsModel::SetRows(TRows rows) {
  beginResetModel();
  FRows = std::move(rows);
  endResetModel();
}

void TShownRowsModel::ReplaceTail(int from, const std::vector<int>& tail) {
  const std::vector<int> before = FRows ? *FRows : std::vector<int>();
  const auto kept =
      static_cast<int>(std::lower_bound(before.begin(), before.end(), from) - before.begin());
  if (kept < Count()) {
    beginRemoveRows(QModelIndex(), kept, Count() - 1);
    FRows = std::make_shared<const std::vector<int>>(before.begin(), before.begin() + kept);
    endRemoveRows();
  }
  if (tail.empty()) return;
  beginInsertRows(QModelIndex(), kept, kept + static_cast<int>(tail.size()) - 1);
  auto rows = std::make_shared<std::vector<int>>(before.begin(), before.begin() + kept);
  rows->insert(rows->end(), tail.begin(), tail.end());
  FRows = std::move(rows);
  endInsertRows();
}

QModelIndex TShownRowsModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= Count() || column < 0 || column >= columnCount())
    return {};
  return createIndex(row, column);
}

QModelIndex TShownRowsModel::parent(const QModelIndex&) const {
  return {};
}

int TShownRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int TShownRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : sourceModel()->columnCount();
}

bool TShownRowsModel::hasChildren(const QModelIndex& parent) const {
  return !parent.isValid() && Count() > 0;
}

QVariant TShownRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) return sourceModel()->headerData(section, orientation, role);
  return QAbstractProxyModel::headerData(section, orientation, role);
}

QModelIndex TShownRowsModel::mapToSource(const QModelIndex& proxyIndex) const {
  if (!proxyIndex.isValid() || proxyIndex.row() >= Count()) return {};
  return sourceModel()->index((*FRows)[proxyIndex.row()], proxyIndex.column());
}

QModelIndex TShownRowsModel::mapFromSource(const QModelIndex& sourceIndex) const {
  if (!sourceIndex.isValid() || !FRows) return {};
  const auto it = std::lower_bound(FRows->begin(), FRows->end(), sourceIndex.row());
  if (it == FRows->end() || *it != sourceIndex.row()) return {};
  return index(static_cast<int>(it - FRows->begin()), sourceIndex.column());
}

void TShownRowsModel::SourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                        const QList<int>& roles) {
  if (!FRows || !topLeft.isValid() || !bottomRight.isValid()) return;
  const auto first = std::lower_bound(FRows->begin(), FRows->end(), topLeft.row());
  const auto last = std::upper_bound(first, FRows->end(), bottomRight.row());
  if (first == last) return;
  emit dataChanged(index(static_cast<int>(first - FRows->begin()), topLeft.column()),
                   index(static_cast<int>(last - FRows->begin()) - 1, bottomRight.column()), roles);
}

}  // namespace quillon
