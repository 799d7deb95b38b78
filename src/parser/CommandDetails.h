// The texts the window shows and saves for commands, shared with the command line.
#pragma once

#include <ostream>
#include <string>

#include "core/untCommand.h"

namespace quillon {

// The details of one command as the details pane shows them, one line per LF: attributes
// with protocol and log line, name, the three "Передано / Принято" lines, an empty line and
// the three headed decoded texts.
std::string FormatCommandDetails(const TCommand& command);

// Appends one command in the saved-list form: two or three lines "[time] [thread] ...",
// Windows-1251, CR LF.
void AppendSavedCommand(std::string& out, const TCommand& command);

}  // namespace quillon
