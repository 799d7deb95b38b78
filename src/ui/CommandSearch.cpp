#include "ui/CommandSearch.h"

#include <QMetaObject>
#include <algorithm>

#include "core/BinUtils.h"
#include "ui/QueuedCall.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

const QString kHexPrefix = QStringLiteral("hex:");
const QString kRegExpPrefix = QStringLiteral("re:");

// Whether hex, bytes as the commands keep them, stands at the start of a byte in data.
bool HoldsBytes(const std::string& data, const std::string& hex) {
  for (std::size_t at = data.find(hex); at != std::string::npos; at = data.find(hex, at + 1))
    if (at % 3 == 0) return true;
  return false;
}

}  // namespace

std::optional<TSearchQuery> TSearchQuery::Parse(const QString& text, QString& error) {
  error.clear();
  if (text.isEmpty()) return std::nullopt;
  TSearchQuery query;
  if (text.startsWith(kHexPrefix, Qt::CaseInsensitive)) {
    const std::string digits = text.mid(kHexPrefix.size()).trimmed().toStdString();
    const TBytes bytes = HexToBytes(digits);
    if (digits.empty() || !IsHexText(digits) || bytes.empty()) {
      error =
          T("Поиск байтов: после \"hex:\" нужны байты в шестнадцатеричном виде, "
            "например \"hex: 11 1E\"");
      return std::nullopt;
    }
    query.FKind = TKind::Hex;
    query.FHex = BytesToHex(bytes);
    return query;
  }
  if (text.startsWith(kRegExpPrefix, Qt::CaseInsensitive)) {
    QString pattern = text.mid(kRegExpPrefix.size());
    while (!pattern.isEmpty() && pattern.front().isSpace()) pattern.remove(0, 1);
    query.FRegExp = QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
    if (pattern.isEmpty()) {
      error = T("Регулярное выражение: после \"re:\" нужно выражение, например \"re: ^1[01],\"");
      return std::nullopt;
    }
    if (!query.FRegExp.isValid()) {
      error = T("Ошибка в регулярном выражении (позиция %1): %2")
                  .arg(query.FRegExp.patternErrorOffset() + 1)
                  .arg(query.FRegExp.errorString());
      return std::nullopt;
    }
    query.FKind = TKind::RegExp;
    return query;
  }
  query.FText = text;
  query.FLowerText = text.toLower().toStdString();
  return query;
}

bool TSearchQuery::Matches(const TCommand& command, const std::function<QString()>& summary) const {
  switch (FKind) {
    case TKind::Hex:
      return HoldsBytes(command.TxData(), FHex) || HoldsBytes(command.AnswerData(), FHex);
    case TKind::RegExp:
      for (const std::string& text :
           {command.Attributes(), command.TimeStamp(), command.CommandName()})
        if (FRegExp.match(Q(text)).hasMatch()) return true;
      return FRegExp.match(summary()).hasMatch();
    case TKind::Text:
      break;
  }
  return command.HasLowerData(FLowerText) || summary().contains(FText, Qt::CaseInsensitive);
}

TSearchQuestionText SearchEndQuestion(bool backward) {
  return {T("Поиск завершен"), backward ? T("Начать с конца?") : T("Начать с начала?")};
}

int SearchStartPosition(const TSearchRows& rows, int commandCount, int current, bool backward) {
  if (!rows) return backward ? std::min(current, commandCount) - 1 : std::max(current + 1, 0);
  if (backward)
    return static_cast<int>(std::lower_bound(rows->begin(), rows->end(), current) - rows->begin()) -
           1;
  return static_cast<int>(std::upper_bound(rows->begin(), rows->end(), current) - rows->begin());
}

TSearchController::TSearchController(QObject* parent) : QObject(parent) {}

TSearchController::~TSearchController() {
  Cancel();
}

void TSearchController::Start(const TCommandList& list, TSearchRows rows, TMatcher matches,
                              int start, bool backward) {
  Cancel();
  FList = &list;
  FRows = std::move(rows);
  FMatches = std::move(matches);
  FBackward = backward;
  Run(start);
}

void TSearchController::Wrap() {
  if (!FList || Running()) return;
  const int count = FRows ? static_cast<int>(FRows->size()) : static_cast<int>(FList->Count());
  Run(FBackward ? count - 1 : 0);
}

void TSearchController::Run(int start) {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  FCancel = cancel;
  auto found = std::make_shared<int>(-1);
  FThread = StartNotifyThread(
      [list = FList, rows = FRows, matches = FMatches, backward = FBackward, start, cancel,
       found](TNotifyThread&) {
        const int count = rows ? static_cast<int>(rows->size()) : static_cast<int>(list->Count());
        const int step = backward ? -1 : 1;
        for (int at = start; at >= 0 && at < count && !cancel->load(); at += step) {
          const int row = rows ? (*rows)[at] : at;
          if (matches((*list)[row])) {
            *found = row;
            return;
          }
        }
      },
      [this, cancel, found](TNotifyThread&) {
        FThread.reset();
        if (cancel->load()) return;
        if (*found >= 0)
          emit Found(*found);
        else
          emit EndReached();
      },
      QueuedOn(this));
}

void TSearchController::Cancel() {
  if (!FThread) return;
  *FCancel = true;
  FThread.reset();  // waits for the worker; its end is not reported
}

}  // namespace quillon
