// What the user reads about a playback: the status line for a command being played or a
// failed one, and the device's result code inside an error message. Shared by the window
// and the command line.
#pragma once

#include <string>
#include <string_view>

#include "core/untCommand.h"

namespace quillon {

// "(5/40) 11, Запрос состояния", or "Цикл 2 (5/40) ..." in endless play, for a "CommandRun"
// message ("index" or "index pass"). Empty when the message holds no index.
std::string CommandRunStatus(const TCommandList& commands, std::string_view message);

// "(5/40) 11, Запрос состояния: Ошибка: 55, ..." (or with "Цикл N " in front) for an "Error"
// message ("index pass text"). Empty when the message holds no index.
std::string ErrorStatus(const TCommandList& commands, std::string_view message);

// The device result code of an error message "index code, text": the part from the first
// blank up to the first comma, trimmed, as a decimal number; -1 when it is not one.
int ExtractErrorCode(std::string_view message);

}  // namespace quillon
