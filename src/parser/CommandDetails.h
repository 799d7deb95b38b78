// The texts the window shows and saves for commands, shared with the command line.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/untCommand.h"

namespace quillon {

struct TCommandSpans;

// The lines (numbered from 0) of the details on which the three decoded texts begin.
struct TDetailsLines {
  std::size_t Request = 0;
  std::size_t Answer = 0;
  std::size_t PlayedAnswer = 0;
};

// The details of one command as the details pane shows them, one line per LF: attributes
// with protocol and log line, name, the three "Передано / Принято" lines, an empty line and
// the three headed decoded texts. With `spans`, the decoding that made the texts also tells
// where their values lie (ParseCommand), and `lines` where the texts stand.
std::string FormatCommandDetails(const TCommand& command, TCommandSpans* spans = nullptr,
                                 TDetailsLines* lines = nullptr);

// The lines a text takes in the details: CR LF, a lone CR and a lone LF each end one; the
// last line is the rest after the last end (empty when the text ends with one).
std::vector<std::string_view> DetailsLines(std::string_view text);

// Appends one command in the saved-list form: two or three lines "[time] [thread] ...",
// Windows-1251, CR LF.
void AppendSavedCommand(std::string& out, const TCommand& command);

}  // namespace quillon
