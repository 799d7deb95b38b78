// The text of the bytes pane: a command's request, logged and played answer, each under a
// heading, 16 bytes a row with the row's offset, the bytes in hex and as characters of code
// page 1251; where each byte stands in that text and which byte a place of it shows. Holds
// no widgets.
#pragma once

#include <QString>
#include <array>
#include <cstddef>

#include "core/Bytes.h"
#include "ui/FieldMap.h"

namespace quillon {

class TCommand;

// Where a byte stands in the text: its line, the column of its two hex digits and the
// column of its character.
struct TBytePosition {
  int Line = -1;
  int HexColumn = -1;
  int CharColumn = -1;
};

class THexDump {
 public:
  static constexpr std::size_t kRowBytes = 16;

  THexDump() = default;
  // The command's bytes; the fields of `map` that ran past the end are named under their
  // side's rows.
  THexDump(const TCommand& command, const TFieldMap& map);

  const QString& Text() const { return FText; }
  const TBytes& Bytes(TBytesSide side) const { return FSides[side].Bytes; }
  // The position of a byte; Line -1 when the side has no such byte.
  TBytePosition Position(TBytesSide side, std::size_t offset) const;
  // The byte whose hex digits or character is at `column` of `line`; false when none is.
  bool ByteAt(int line, int column, TBytesSide& side, std::size_t& offset) const;

  // The character the character column shows for a byte: its code page 1251 letter, '.'
  // for control codes and the bytes that show nothing.
  static QChar ByteChar(std::uint8_t byte);

 private:
  struct TSide {
    TBytes Bytes;
    int FirstRowLine = 0;  // the line of the side's first row
  };
  std::array<TSide, kBytesSides> FSides;
  QString FText;
};

}  // namespace quillon
