// Decoder of the command 0x6B "Запрос описания ошибки".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand6B : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
