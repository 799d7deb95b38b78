#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/CliOutput.h"
#include "core/DateUtils.h"

namespace quillon::cli {
namespace {

// The JSON lines are written without a document; they must be what the JSON library
// writes for the same values, byte for byte, whatever the texts hold.
TEST(CliOutput, JsonLineIsWhatTheJsonLibraryWrites) {
  const std::string kTexts[] = {
      "",
      "plain",
      "Спасибо за покупку!",
      std::string("zero\0bytes\0", 11),
      "\x01\x07\x08\x0B\x0C\x1F\x7F",
      "quote \" backslash \\ slash / tab\t cr\r lf\n",
      "\xC3",              // cut short
      "\xC0\xAF",          // overlong
      "\xED\xA0\x80",      // a surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "ok \xFF\xFE end",
      "\xF0\x9F\x98\x80 four bytes",
  };
  for (const std::string& base : kTexts)
    for (std::size_t shift = 0; shift < 9; ++shift) {
      // Every special byte at every place of the eight-byte words the writer reads.
      const std::string text = std::string(shift, 'a') + base + std::string(9 - shift, 'b');
      SCOPED_TRACE(
          nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace));
      TCommandRec rec;
      rec.Attributes = "[01.12.2024 10:00:00.078] [" + text;
      rec.TxData = "FF 0A 1E";
      rec.Code = 0xFF0A;
      rec.AnswerData = text;
      rec.Protocol = pProtocol2;
      rec.LineNumber = 12;
      // Every other command has an answer time: 922 ms after the request's 10:00:00.078.
      const bool timed = shift % 2 == 1;
      if (timed) rec.AnswerTimeMs = *ParseLogTimeStamp("01.12.2024 10:00:01.000");
      TCommand command(rec);
      TCommandTexts texts{text, text + "x", "y" + text};

      nlohmann::ordered_json j;
      j["n"] = 7u;
      j["line"] = 12;
      j["attributes"] = command.Attributes();
      j["time"] = command.TimeStamp();
      j["thread"] = command.ThreadID();
      j["protocol"] = "Protocol v2";
      j["code"] = 0xFF0A;
      j["name"] = command.CommandName();
      j["tx"] = command.TxData();
      j["rx"] = command.AnswerData();
      j["result"] = command.ResCode();
      j["error"] = command.HasError();
      j["summary"] = texts.Summary;
      j["request"] = texts.Request;
      j["answer"] = texts.Answer;
      j["answer_time"] = timed ? "01.12.2024 10:00:01.000" : "";
      j["response_ms"] = timed ? nlohmann::ordered_json(922) : nlohmann::ordered_json(nullptr);

      std::string line = "previous line\n";
      AppendJsonLine(line, 7, command, texts);
      EXPECT_EQ(line, "previous line\n" +
                          j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    }
}

TEST(CliOutput, ListFieldsEscapeFiveBytesAnywhere) {
  const std::pair<char, const char*> kEscapes[] = {
      {'\r', "\\r"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\\', "\\\\"}, {'\0', "\\0"}};
  for (const auto& [c, escaped] : kEscapes)
    for (std::size_t at = 0; at < 20; ++at) {
      std::string field = "Чек \x01\x7F" + std::string(20, 'x');
      field.insert(at, 1, c);
      std::string want = field;
      want.replace(at, 1, escaped);
      std::string out = "|";
      AppendEscaped(out, field);
      EXPECT_EQ(out, "|" + want) << int(c) << " at " << at;
    }
}

}  // namespace
}  // namespace quillon::cli
