// The bytes pane beside the details: the selected command's bytes in hex and as characters,
// the bytes no field covers in grey, those of values that ran past the end in red. A line
// clicked in the details highlights its value's bytes here; a byte clicked here selects its
// value's lines there.
#pragma once

#include <QPlainTextEdit>
#include <QRect>
#include <cstddef>

#include "ui/FieldMap.h"
#include "ui/HexDump.h"

namespace quillon {

class TCommand;

class TBytesPane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TBytesPane(QWidget* parent = nullptr);

  // The details pane this one goes with. Whenever its text changes, this pane's bytes go
  // (they belong to the text they were shown with).
  void SetDetails(QPlainTextEdit* details);
  // Shows a command's bytes; `map` is that of the details text just shown (an empty one
  // when it could not be decoded).
  void ShowCommand(const TCommand& command, TFieldMap map);
  void ClearCommand();

  const THexDump& Dump() const { return FDump; }
  const TFieldMap& Map() const { return FMap; }
  // The value whose bytes are highlighted; nullptr when none is.
  const TFieldPlace* Highlighted() const { return FHighlighted; }
  // Where the viewport shows a byte's hex digits or its character; empty when nowhere.
  QRect ByteRect(TBytesSide side, std::size_t offset, bool character = false) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void MarkBytes();
  void Highlight(const TFieldPlace* place);
  void DetailsCursorMoved();
  void SelectDetailsLines(const TFieldPlace& place);
  // The text cursor at a column of a line of the dump.
  QTextCursor CursorAt(int line, int column) const;

  QPlainTextEdit* FDetails = nullptr;
  THexDump FDump;
  TFieldMap FMap;
  const TFieldPlace* FHighlighted = nullptr;
  bool FSelectingDetails = false;  // the details' cursor is moved from here
};

}  // namespace quillon
