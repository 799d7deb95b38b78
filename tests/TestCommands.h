// A command as the parser would build it from a request and its answer in hex text.
#pragma once

#include <string>

#include "core/untCommand.h"

namespace quillon::test {

inline TCommand MakeCommand(std::string tx, std::string answer = {}, TProtocol protocol = pNone) {
  TCommandRec rec;
  rec.Code = TCommand::GetCode(tx);
  rec.ResCode = TCommand::GetResCode(answer);
  rec.TxData = std::move(tx);
  rec.AnswerData = std::move(answer);
  rec.Protocol = protocol;
  return TCommand(std::move(rec));
}

}  // namespace quillon::test
