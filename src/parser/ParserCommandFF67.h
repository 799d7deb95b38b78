// Decoder of the command 0xFF67 "Привязка  маркированного товара к позиции".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFF67 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
