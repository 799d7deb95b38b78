// Fuzzes the command decoders: the input bytes become the request and the answer of one
// command of every registered code (and of one code without a decoder).
#include <cstddef>
#include <cstdint>

#include "core/BinUtils.h"
#include "parser/CommandParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillon;
  if (size == 0) return 0;
  // The first byte says where the request ends and the answer begins.
  std::size_t split = size > 1 ? data[0] % size : 0;
  TBytes request(data + 1, data + (split > 0 ? split : 1));
  TBytes answer(data + split, data + size);
  const auto& registry = TParserCommands::Shared();
  std::vector<std::uint16_t> codes{0x13};
  for (const auto& item : registry.Items()) codes.push_back(item.first);
  for (std::uint16_t code : codes) {
    TBytes head;
    if (code > 0xFF) head.push_back(0xFF);
    head.push_back(static_cast<std::uint8_t>(code & 0xFF));
    TCommandRec rec;
    rec.TxData = BytesToHex(head + request);
    rec.AnswerData = BytesToHex(head + answer);
    rec.Code = TCommand::GetCode(rec.TxData);
    rec.ResCode = TCommand::GetResCode(rec.AnswerData);
    TCommand command(rec);
    command.SetPlayedAnswerData(rec.AnswerData);
    (void)ParseCommand(command);
    (void)GetCommandShortValue(command);
  }
  return 0;
}
