#include "cli/CliOutput.h"

#include <optional>

#include "core/DateUtils.h"
#include "core/DriverCommands.h"
#include "core/JsonText.h"
#include "core/WordScan.h"

namespace quillon::cli {

namespace {

using namespace wordscan;

// The command's name in a buffer reused from one row to the next on this thread.
std::string_view NameOf(const TCommand& command) {
  thread_local std::string name;
  name.clear();
  command.AppendCommandName(name);
  return name;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view field) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    // Skip words without CR, LF, TAB, backslash or NUL.
    while (i + 8 <= field.size()) {
      std::uint64_t w = Load8(field.data() + i);
      if ((ZeroBytes(w) | BytesEqual(w, '\r') | BytesEqual(w, '\n') | BytesEqual(w, '\t') |
           BytesEqual(w, '\\')) != 0)
        break;
      i += 8;
    }
    if (i >= field.size()) break;
    const char* escape = nullptr;
    switch (field[i]) {
      case '\r':
        escape = "\\r";
        break;
      case '\n':
        escape = "\\n";
        break;
      case '\t':
        escape = "\\t";
        break;
      case '\\':
        escape = "\\\\";
        break;
      case '\0':
        escape = "\\0";
        break;
      default:
        continue;
    }
    out.append(field, start, i - start);
    out += escape;
    start = i + 1;
  }
  out.append(field, start, std::string_view::npos);
}

void AppendListLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts) {
  out += std::to_string(number);
  out.push_back('\t');
  AppendEscaped(out, command.TimeStampView());
  out.push_back('\t');
  AppendEscaped(out, command.ThreadIDView());
  out.push_back('\t');
  AppendEscaped(out, NameOf(command));
  out.push_back('\t');
  AppendEscaped(out, texts.Summary);
  out.push_back('\t');
  if (command.HasError()) out.push_back('!');
  out.push_back('\n');
}

void AppendJsonLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts) {
  auto text = [&](std::string_view key, std::string_view value) {
    AppendJsonKey(out, key);
    AppendJsonString(out, value);
  };
  auto integer = [&](std::string_view key, auto value) {
    AppendJsonKey(out, key);
    out += std::to_string(value);
  };
  out.push_back('{');
  integer("n", number);
  integer("line", command.LineNumber());
  text("attributes", command.Attributes());
  text("time", command.TimeStampView());
  text("thread", command.ThreadIDView());
  text("protocol", GetProtocolName(command.Protocol()));
  integer("code", command.Code());
  text("name", NameOf(command));
  text("tx", command.TxData());
  text("rx", command.AnswerData());
  integer("result", command.ResCode());
  AppendJsonKey(out, "error");
  out += command.HasError() ? "true" : "false";
  text("summary", texts.Summary);
  text("request", texts.Request);
  text("answer", texts.Answer);
  // The stamp is digits, full stops, colons and a space: nothing to escape.
  AppendJsonKey(out, "answer_time");
  out.push_back('"');
  if (std::optional<std::int64_t> ms = command.AnswerTimeMs()) AppendLogTimeStamp(out, *ms);
  out.push_back('"');
  AppendJsonKey(out, "response_ms");
  if (std::optional<std::int64_t> ms = command.ResponseMs())
    out += std::to_string(*ms);
  else
    out += "null";
  out += "}\n";
}

}  // namespace quillon::cli
