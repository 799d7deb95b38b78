// A command as one line of text with everything the parser gives it, for comparing what
// two ways of reading a log found.
#pragma once

#include <sstream>
#include <string>

#include "core/untCommand.h"

namespace quillon::test {

inline std::string Describe(const TCommand& c, std::uint64_t number) {
  std::ostringstream s;
  s << number << '|' << c.LineNumber() << '|' << c.Attributes() << '|' << int(c.Protocol()) << '|'
    << c.Code() << '|' << c.TxData() << '|' << c.AnswerData() << '|' << c.ResCode() << '|'
    << c.AnswerTimeMs().value_or(-1) << '\n';
  return s.str();
}

inline std::string Describe(const TCommandList& list) {
  std::string out;
  for (std::size_t i = 0; i < list.Count(); ++i) out += Describe(list[i], i + 1);
  return out;
}

}  // namespace quillon::test
