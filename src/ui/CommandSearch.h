// The search through the command list: the next (or the one before) command that holds a
// text, some bytes or a match of a regular expression, or the next failed command, among
// the rows the list shows, from the current row on. The walk runs on a worker; at the end
// of the list the user is asked whether to begin again from the other end. Holds no
// widgets.
#pragma once

#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/untCommand.h"
#include "player/NotifyThread.h"

namespace quillon {

// What a search text asks for:
//   "hex: 11 1E"  these bytes in the request or the answer;
//   "re: ..."     a regular expression, in any case, over the texts a plain search reads;
//   other text    itself, in any case, in the command's log line start, time stamp, name
//                 or "Data" text.
class TSearchQuery {
 public:
  enum class TKind { Text, Hex, RegExp };

  // Nothing for an empty text, and for a bad one, whose message for the user is put into
  // error then (left empty for an empty text).
  static std::optional<TSearchQuery> Parse(const QString& text, QString& error);

  TKind Kind() const { return FKind; }
  // summary gives the command's "Data" text; it is asked for only when needed. Reads the
  // command only: safe on a worker.
  bool Matches(const TCommand& command, const std::function<QString()>& summary) const;

 private:
  TKind FKind = TKind::Text;
  QString FText;
  std::string FLowerText;
  std::string FHex;  // the bytes as the commands keep them: "11 1E"
  QRegularExpression FRegExp;
};

// The rows a walk goes through, ascending command numbers; null: every command.
using TSearchRows = std::shared_ptr<const std::vector<int>>;

// The question at the end of the list: its title and text.
struct TSearchQuestionText {
  QString Title;
  QString Text;
};
TSearchQuestionText SearchEndQuestion(bool backward);

// Where a walk over rows begins from the command row current, the current row itself
// passed over: the position in rows of the first shown command after it, or of the last
// one before it when backward (-1 or rows' size when there is none).
int SearchStartPosition(const TSearchRows& rows, int commandCount, int current, bool backward);

class TSearchController : public QObject {
  Q_OBJECT

 public:
  using TMatcher = std::function<bool(const TCommand& command)>;

  explicit TSearchController(QObject* parent = nullptr);
  // Cancels a walk and waits for its thread.
  ~TSearchController() override;

  // Walks the commands of list (not owned; kept until Finished or Cancel) at the positions
  // of rows from `start` on, ahead or back, for the first one that matches. A walk still
  // going is cancelled first.
  void Start(const TCommandList& list, TSearchRows rows, TMatcher matches, int start,
             bool backward);
  // After EndReached: walks the whole sequence again, from its other end.
  void Wrap();
  // Ends a walk at once; it reports nothing.
  void Cancel();
  bool Running() const { return FThread != nullptr; }

 signals:
  // The command row found.
  void Found(int row);
  // The end of the sequence (its start when walking back) was reached without a match.
  void EndReached();

 private:
  void Run(int start);

  const TCommandList* FList = nullptr;
  TSearchRows FRows;
  TMatcher FMatches;
  bool FBackward = false;
  std::unique_ptr<TNotifyThread> FThread;
  std::shared_ptr<std::atomic<bool>> FCancel;
};

}  // namespace quillon
