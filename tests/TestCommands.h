// A command as the parser would build it from a request and its answer in hex text.
#pragma once

#include <cstdlib>
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

// The bundled sample log; empty when the test run gives no source folder
// (QUILLON_SOURCE_DIR).
inline std::string SampleLogPath() {
  const char* source = std::getenv("QUILLON_SOURCE_DIR");
  return source == nullptr ? std::string() : std::string(source) + "/samples/sample.log";
}

}  // namespace quillon::test
