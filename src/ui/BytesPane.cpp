#include "ui/BytesPane.h"

#include <QColor>
#include <QList>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <utility>

#include "core/untCommand.h"
#include "ui/FixedFont.h"

namespace quillon {

namespace {

QTextCharFormat MarkFormat(TByteMark mark) {
  QTextCharFormat format;
  if (mark == bmNoField) format.setForeground(QColor(0x90, 0x90, 0x90));
  if (mark == bmIncomplete) {
    format.setForeground(QColor(0xC0, 0x00, 0x00));
    format.setBackground(QColor(0xFF, 0xD8, 0xD8));
  }
  return format;
}

}  // namespace

TBytesPane::TBytesPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(FixedFont());
}

void TBytesPane::SetDetails(QPlainTextEdit* details) {
  FDetails = details;
  connect(details, &QPlainTextEdit::textChanged, this, &TBytesPane::ClearCommand);
  connect(details, &QPlainTextEdit::cursorPositionChanged, this, &TBytesPane::DetailsCursorMoved);
}

void TBytesPane::ClearCommand() {
  FHighlighted = nullptr;
  setExtraSelections({});
  FMap = TFieldMap();
  FDump = THexDump();
  clear();
}

void TBytesPane::ShowCommand(const TCommand& command, TFieldMap map) {
  FHighlighted = nullptr;
  setExtraSelections({});
  FMap = std::move(map);
  FDump = THexDump(command, FMap);
  // The new text starts plain, not in the marks' format the cursor stood in.
  setCurrentCharFormat(QTextCharFormat());
  setPlainText(FDump.Text());
  MarkBytes();
}

QTextCursor TBytesPane::CursorAt(int line, int column) const {
  QTextCursor cursor(document()->findBlockByNumber(line));
  cursor.setPosition(cursor.block().position() + column);
  return cursor;
}

void TBytesPane::MarkBytes() {
  // Each row's runs of equally marked bytes get one format, over their hex and characters.
  for (int s = 0; s < kBytesSides; ++s) {
    const auto side = static_cast<TBytesSide>(s);
    const std::size_t size = FDump.Bytes(side).size();
    const std::vector<TByteMark> marks = FMap.Marks(side, size);
    for (std::size_t first = 0; first < size;) {
      std::size_t last = first;
      while (last + 1 < size && marks[last + 1] == marks[first] &&
             (last + 1) % THexDump::kRowBytes != 0)
        ++last;
      if (marks[first] != bmField) {
        const TBytePosition from = FDump.Position(side, first);
        const TBytePosition to = FDump.Position(side, last);
        const QTextCharFormat format = MarkFormat(marks[first]);
        for (const auto& [start, end] : {std::pair(from.HexColumn, to.HexColumn + 2),
                                         std::pair(from.CharColumn, to.CharColumn + 1)}) {
          QTextCursor cursor = CursorAt(from.Line, start);
          cursor.setPosition(cursor.block().position() + end, QTextCursor::KeepAnchor);
          cursor.mergeCharFormat(format);
        }
      }
      first = last + 1;
    }
  }
}

void TBytesPane::Highlight(const TFieldPlace* place) {
  FHighlighted = place;
  QList<QTextEdit::ExtraSelection> selections;
  if (place != nullptr) {
    const std::size_t size = FDump.Bytes(place->Side).size();
    const std::size_t end = std::min(size, place->Offset + place->Length);
    QTextCharFormat format;
    format.setBackground(QColor(0xFF, 0xE0, 0x80));
    for (std::size_t first = place->Offset; first < end;) {
      const std::size_t last =
          std::min(end, (first / THexDump::kRowBytes + 1) * THexDump::kRowBytes) - 1;
      const TBytePosition from = FDump.Position(place->Side, first);
      const TBytePosition to = FDump.Position(place->Side, last);
      for (const auto& [start, stop] : {std::pair(from.HexColumn, to.HexColumn + 2),
                                        std::pair(from.CharColumn, to.CharColumn + 1)}) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = CursorAt(from.Line, start);
        selection.cursor.setPosition(selection.cursor.block().position() + stop,
                                     QTextCursor::KeepAnchor);
        selection.format = format;
        selections << selection;
      }
      first = last + 1;
    }
  }
  setExtraSelections(selections);
}

void TBytesPane::mousePressEvent(QMouseEvent* event) {
  QPlainTextEdit::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || FMap.Empty()) return;
  const QPoint point = event->position().toPoint();
  const QTextCursor cursor = cursorForPosition(point);
  // The cursor stands at the nearest gap between characters; the byte is the character
  // whose cell holds the point.
  int column = cursor.positionInBlock();
  if (column > 0 && cursorRect(cursor).left() > point.x()) --column;
  TBytesSide side = bsRequest;
  std::size_t offset = 0;
  if (!FDump.ByteAt(cursor.blockNumber(), column, side, offset)) return;
  const TFieldPlace* place = FMap.AtByte(side, offset);
  Highlight(place);
  if (place != nullptr) SelectDetailsLines(*place);
}

void TBytesPane::SelectDetailsLines(const TFieldPlace& place) {
  if (FDetails == nullptr || place.FirstLine < 0) return;
  QTextDocument* details = FDetails->document();
  const QTextBlock first = details->findBlockByNumber(place.FirstLine);
  const QTextBlock last = details->findBlockByNumber(place.FirstLine + place.LineCount - 1);
  if (!first.isValid() || !last.isValid()) return;
  QTextCursor cursor(first);
  cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
  FSelectingDetails = true;
  FDetails->setTextCursor(cursor);
  FDetails->ensureCursorVisible();
  FSelectingDetails = false;
}

void TBytesPane::DetailsCursorMoved() {
  if (FSelectingDetails || FMap.Empty()) return;
  const TFieldPlace* place = FMap.AtLine(FDetails->textCursor().blockNumber());
  Highlight(place);
  if (place == nullptr || place->Length == 0) return;
  const TBytePosition at = FDump.Position(place->Side, place->Offset);
  if (at.Line < 0) return;
  setTextCursor(CursorAt(at.Line, at.HexColumn));
  ensureCursorVisible();
}

QRect TBytesPane::ByteRect(TBytesSide side, std::size_t offset, bool character) const {
  const TBytePosition at = FDump.Position(side, offset);
  if (at.Line < 0) return {};
  const int column = character ? at.CharColumn : at.HexColumn;
  const int width = character ? 1 : 2;
  const QRect left = cursorRect(CursorAt(at.Line, column));
  const QRect right = cursorRect(CursorAt(at.Line, column + width));
  return QRect(QPoint(left.left(), left.top()), QPoint(right.left() - 1, left.bottom()));
}

}  // namespace quillon
