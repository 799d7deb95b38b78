// Decoder of the command 0xFF0C "Передать произвольную TLV структуру", also used for 0xFF4D
// "Передать произвольную TLV структуру привязанную к операции": both carry the same layout.
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFF0C : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
