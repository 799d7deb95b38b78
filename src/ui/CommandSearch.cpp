#include "ui/CommandSearch.h"

#include <string>

#include "ui/UiText.h"

namespace quillon {

int FindWrapping(int first, int count, const std::function<bool(int row)>& matches,
                 const TSearchQuestion& ask) {
  for (;;) {
    for (int row = first; row < count; ++row)
      if (matches(row)) return row;
    if (!ask(T("Поиск завершен"), T("Начать с начала?"))) return -1;
    first = 0;
  }
}

int SearchText(const TCommandList& commands, const std::function<QString(int row)>& dataText,
               const QString& text, int currentRow, const TSearchQuestion& ask) {
  const int count = static_cast<int>(commands.Count());
  if (count == 0) return -1;
  const std::string lowerText = text.toLower().toStdString();
  auto matches = [&](int row) {
    return commands[row].HasLowerData(lowerText) ||
           dataText(row).contains(text, Qt::CaseInsensitive);
  };
  return FindWrapping(matches(currentRow) ? currentRow + 1 : currentRow, count, matches, ask);
}

int FindErrorRow(const TCommandList& commands, int currentRow, const TSearchQuestion& ask) {
  const int count = static_cast<int>(commands.Count());
  if (count == 0) return -1;
  return FindWrapping(
      currentRow + 1, count, [&](int row) { return commands[row].HasError(); }, ask);
}

}  // namespace quillon
