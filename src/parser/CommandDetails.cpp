#include "parser/CommandDetails.h"

#include "core/CodePages.h"
#include "core/DriverCommands.h"
#include "parser/CommandParser.h"

namespace quillon {

namespace {

// Adds a text to the lines the way a multi-line edit does: every line break inside it
// starts a new line, and the text ends its own line.
void AddLines(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('\n');
}

}  // namespace

std::string FormatCommandDetails(const TCommand& command) {
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
  AddLines(out, std::string("Передано     : ").append(command.TxData()));
  AddLines(out, "Принято (лог): " + (command.AnswerData().empty() ? std::string("НЕТ ОТВЕТА")
                                                                  : command.AnswerData()));
  AddLines(out, "Принято (ККТ): " + command.PlayedAnswerData());
  AddLines(out, "");
  TCommandTexts texts = ParseCommand(command);
  AddLines(out, "Входные параметры:");
  AddLines(out, texts.Request);
  AddLines(out, "Возвращенные параметры (лог):");
  AddLines(out, texts.Answer);
  AddLines(out, "Возвращенные параметры (ККТ):");
  AddLines(out, texts.PlayedAnswer);
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
