// Decoder of the command 0x83 "Возврат покупки".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand83 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
