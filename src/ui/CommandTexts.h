// The texts the list shows for a command, made the same way on the window's thread and on
// a worker (a search going through the summaries). Holds no widgets.
#pragma once

#include <QString>
#include <string>

#include "core/untCommand.h"

namespace quillon {

// A decoded text as the screen shows it: device texts are padded with zero bytes, which a
// line ends at, as the register's own display does.
QString ScreenText(const std::string& text);

// The list's "Data" text of a command: its decoded summary on screen; empty for a command
// the decoder cannot read. Safe on any thread (each thread decodes with its own decoders).
QString CommandSummaryText(const TCommand& command);

}  // namespace quillon
