#include "cli/CliOutput.h"

#include <nlohmann/json.hpp>

#include "core/DriverCommands.h"

namespace quillon::cli {

void AppendEscaped(std::string& out, std::string_view field) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
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
  AppendEscaped(out, command.TimeStamp());
  out.push_back('\t');
  AppendEscaped(out, command.ThreadID());
  out.push_back('\t');
  AppendEscaped(out, command.CommandName());
  out.push_back('\t');
  AppendEscaped(out, texts.Summary);
  out.push_back('\t');
  if (command.HasError()) out.push_back('!');
  out.push_back('\n');
}

void AppendJsonLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts) {
  nlohmann::ordered_json j;
  j["n"] = number;
  j["line"] = command.LineNumber();
  j["attributes"] = command.Attributes();
  j["time"] = command.TimeStamp();
  j["thread"] = command.ThreadID();
  j["protocol"] = std::string(GetProtocolName(command.Protocol()));
  j["code"] = command.Code();
  j["name"] = command.CommandName();
  j["tx"] = command.TxData();
  j["rx"] = command.AnswerData();
  j["result"] = command.ResCode();
  j["error"] = command.HasError();
  j["summary"] = texts.Summary;
  j["request"] = texts.Request;
  j["answer"] = texts.Answer;
  out += j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  out.push_back('\n');
}

}  // namespace quillon::cli
