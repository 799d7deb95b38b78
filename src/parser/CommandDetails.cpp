#include "parser/CommandDetails.h"

#include <algorithm>

#include "core/CodePages.h"
#include "core/DriverCommands.h"
#include "core/Translate.h"
#include "parser/CommandParser.h"

namespace quillon {

namespace {

// Adds a text to the lines the way a multi-line edit does: every line break inside it
// starts a new line, and the text ends its own line.
void AddLines(std::string& out, std::string_view text) {
  for (std::string_view line : DetailsLines(text)) {
    out += line;
    out.push_back('\n');
  }
}

std::size_t LinesIn(const std::string& out) {
  return static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
}

}  // namespace

std::vector<std::string_view> DetailsLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string FormatCommandDetails(const TCommand& command, TCommandSpans* spans,
                                 TDetailsLines* lines) {
  std::string out;
  std::string head = command.Attributes();
  head += ' ';
  std::string_view protocol = GetProtocolName(command.Protocol());
  if (!protocol.empty()) {
    head += '[';
    head += protocol;
    head += ']';
  }
  head += " (Line ";
  head += std::to_string(command.LineNumber());
  head += ')';
  AddLines(out, head);
  AddLines(out, command.CommandName());
  AddLines(out, Tr("Передано     : ") + command.TxData());
  AddLines(out, Tr("Принято (лог): ") +
                    (command.AnswerData().empty() ? Tr("НЕТ ОТВЕТА") : command.AnswerData()));
  AddLines(out, Tr("Принято (ККТ): ") + command.PlayedAnswerData());
  AddLines(out, "");
  TCommandTexts texts = ParseCommand(command, spans);
  TDetailsLines at;
  AddLines(out, Tr("Входные параметры:"));
  at.Request = LinesIn(out);
  AddLines(out, texts.Request);
  AddLines(out, Tr("Возвращенные параметры (лог):"));
  at.Answer = LinesIn(out);
  AddLines(out, texts.Answer);
  AddLines(out, Tr("Возвращенные параметры (ККТ):"));
  at.PlayedAnswer = LinesIn(out);
  AddLines(out, texts.PlayedAnswer);
  if (lines != nullptr) *lines = at;
  return out;
}

void AppendSavedCommand(std::string& out, const TCommand& command) {
  std::string prefix = "[";
  prefix += command.TimeStamp();
  prefix += "] [";
  prefix += command.ThreadID();
  prefix += "] ";
  auto line = [&](std::string_view mark, std::string_view text, std::string_view end) {
    std::string s = prefix;
    s += mark;
    s += text;
    s += end;
    out += Utf8ToCp1251(s);
  };
  line("[", command.CommandName(), "]\r\n");
  line("-> ", command.TxData(), "\r\n");
  if (!command.AnswerData().empty()) line("<- ", command.AnswerData(), "\r\n");
}

}  // namespace quillon
