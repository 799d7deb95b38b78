// Fuzzes the command decoders with one command per input, laid out as
//   code (one byte, or FF and a second byte), split byte, rest of the request, answer.
// The split byte modulo the number of bytes from it on is where the answer begins; the
// answer carries the code again, then the result code and its data. At 0 the command has
// no answer and all the bytes after the split byte are the request. Any code may be
// chosen, so the decoders and the path of codes without one are all reached.
#include <cstddef>
#include <cstdint>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "parser/CommandParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillon;
  const std::size_t headSize = CommandCodeLength(TBytesView(data, size));
  if (size <= headSize) return 0;
  const TBytesView head(data, headSize);
  const TBytesView rest(data + headSize, size - headSize);
  const std::size_t split = rest[0] % rest.size();

  TCommandRec rec;
  rec.TxData = BytesToHex(TBytes(head) + TBytes(rest.substr(1, split > 0 ? split - 1 : rest.npos)));
  if (split > 0) rec.AnswerData = BytesToHex(TBytes(head) + TBytes(rest.substr(split)));
  rec.Code = TCommand::GetCode(rec.TxData);
  rec.ResCode = TCommand::GetResCode(rec.AnswerData);
  TCommand command(rec);
  command.SetPlayedAnswerData(rec.AnswerData);
  (void)ParseCommand(command);
  (void)GetCommandShortValue(command);
  return 0;
}
