#include "cli/CliOutput.h"

#include <optional>

#include "core/DateUtils.h"
#include "core/DriverCommands.h"
#include "core/JsonText.h"
#include "core/WordScan.h"
#include "parser/CommandParser.h"

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

const char* KindName(TSpanKind kind) {
  switch (kind) {
    case skField:
      return "field";
    case skGroup:
      return "group";
    case skRecord:
      return "record";
    case skPart:
      return "part";
  }
  return "";
}

void AppendSpans(std::string& out, const TFieldSpans& spans) {
  out.push_back('[');
  for (const TFieldSpan& span : spans) {
    if (out.back() != '[') out.push_back(',');
    out.push_back('{');
    AppendJsonKey(out, "name");
    AppendJsonString(out, span.Name);
    AppendJsonKey(out, "value");
    AppendJsonString(out, span.Value);
    AppendJsonKey(out, "kind");
    AppendJsonString(out, KindName(span.Kind));
    AppendJsonKey(out, "offset");
    out += std::to_string(span.Offset);
    AppendJsonKey(out, "length");
    out += std::to_string(span.Length);
    AppendJsonKey(out, "complete");
    out += span.Complete ? "true" : "false";
    AppendJsonKey(out, "children");
    AppendSpans(out, span.Children);
    out.push_back('}');
  }
  out.push_back(']');
}

void AppendSide(std::string& out, std::string_view key, std::string_view hex, std::string_view text,
                const TFieldSpans& spans) {
  AppendJsonKey(out, key);
  if (hex.empty()) {
    out += "null";
    return;
  }
  out.push_back('{');
  AppendJsonKey(out, "hex");
  AppendJsonString(out, hex);
  AppendJsonKey(out, "text");
  AppendJsonString(out, text);
  AppendJsonKey(out, "fields");
  AppendSpans(out, spans);
  out.push_back('}');
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

void AppendShowJson(std::string& out, const TCommand& command) {
  TCommandSpans spans;
  const quillon::TCommandTexts texts = ParseCommand(command, &spans);
  const std::string played = command.PlayedAnswerData();
  out.push_back('{');
  AppendSide(out, "request", command.TxData(), texts.Request, spans.Request);
  AppendSide(out, "answer", command.AnswerData(), texts.Answer, spans.Answer);
  AppendSide(out, "played", played, texts.PlayedAnswer, spans.PlayedAnswer);
  out += "}\n";
}

}  // namespace quillon::cli
