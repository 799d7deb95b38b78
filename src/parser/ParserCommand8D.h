// Decoder of the command 0x8D "Открыть чек".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand8D : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
