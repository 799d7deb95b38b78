#include "ui/CommandTexts.h"

#include <exception>

#include "parser/CommandParser.h"

namespace quillon {

QString ScreenText(const std::string& text) {
  if (text.find('\0') == std::string::npos) return QString::fromStdString(text);
  std::string shown;
  shown.reserve(text.size());
  bool skipping = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') skipping = false;
    if (c == '\0') skipping = true;
    if (!skipping) shown.push_back(c);
  }
  return QString::fromStdString(shown);
}

QString CommandSummaryText(const TCommand& command) {
  try {
    return ScreenText(GetCommandShortValue(command));
  } catch (const std::exception&) {
    return QString();  // a command the decoder cannot read has no summary
  }
}

}  // namespace quillon
