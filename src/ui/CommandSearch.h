// The search through the command list: the next command whose data or "Data" text holds
// a text, in any case, or the next failed command, from the current row on. At the end
// of the list the user is asked whether to begin again from the top. Holds no widgets.
#pragma once

#include <QString>
#include <functional>

#include "core/untCommand.h"

namespace quillon {

// Asks the user a question with title and text; true for "go on".
using TSearchQuestion = std::function<bool(const QString& title, const QString& text)>;

// The first row from `first` on for which matches holds. After the last row the user is
// asked "Начать с начала?": agreed, the search goes on from row 0; declined, -1.
int FindWrapping(int first, int count, const std::function<bool(int row)>& matches,
                 const TSearchQuestion& ask);

// The next row whose command data (lower case) or "Data" text (dataText) holds text in
// any case, after currentRow; currentRow itself is passed over when it matches. -1 for an
// empty list or when the user declines.
int SearchText(const TCommandList& commands, const std::function<QString(int row)>& dataText,
               const QString& text, int currentRow, const TSearchQuestion& ask);

// The next failed command after currentRow; -1 as for SearchText.
int FindErrorRow(const TCommandList& commands, int currentRow, const TSearchQuestion& ask);

}  // namespace quillon
