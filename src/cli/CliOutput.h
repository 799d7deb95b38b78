// Text and JSON forms of the command list printed by quillon-cli.
#pragma once

#include <cstdint>
#include <string>

#include "core/untCommand.h"

namespace quillon::cli {

// CR, LF, TAB, backslash and NUL written as \r \n \t \\ \0 so that a field stays on its line.
void AppendEscaped(std::string& out, std::string_view field);

// The texts a decoder gives a command (empty while no decoder knows it).
struct TCommandTexts {
  std::string Summary;
  std::string Request;
  std::string Answer;
};

// number TAB time TAB thread TAB name TAB summary TAB "!" for a failed command; LF.
void AppendListLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts);
// One JSON object on one line; LF. After the decoded texts come the answer line's time stamp
// ("" without one) and the response time in milliseconds (null without one).
void AppendJsonLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts);

// `show --json`: one JSON object, LF. Keys "request", "answer" and "played", each null when
// that side has no bytes, else {"hex", "text", "fields"}: the side's hex text as the log has
// it, its decoded text, and its spans (TParserCommand::Parse), each {"name", "value", "kind"
// ("field", "group", "record" or "part"), "offset", "length", "complete", "children"}.
void AppendShowJson(std::string& out, const TCommand& command);

}  // namespace quillon::cli
