// Decoder of the command 0x82 "Возврат продажи".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand82 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
