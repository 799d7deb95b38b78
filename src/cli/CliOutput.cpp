#include "cli/CliOutput.h"

#include <nlohmann/json.hpp>

#include "core/DriverCommands.h"

namespace quillon::cli {

void AppendEscaped(std::string& out, std::string_view field) {
  for (char c : field) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out.push_back(c);
    }
  }
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
