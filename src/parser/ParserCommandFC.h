// Decoder of the command 0xFC "Получить тип устройства".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFC : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
